#include "plugin_loader.h"

#include "EventLog.h"
#include "MyDocManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

PluginLibrary::~PluginLibrary()
{
    unload();
}

bool PluginLibrary::load(const QString &path)
{
    unload();
    m_path = path;
    m_module = std::make_unique<QLibrary>(path);
    // A probe's unload must not really unload: a plug-in that pulled in the
    // browser engine does not survive being unloaded and loaded again.
    m_module->setLoadHints(QLibrary::PreventUnloadHint);
    if (!m_module->load()) {
        m_error = m_module->errorString();
        m_module.reset();
        return false;
    }
    m_entry = reinterpret_cast<DLLDocTemplateFunction>(m_module->resolve("DLLDocTemplate"));
    return true;
}

void PluginLibrary::unload()
{
    if (m_module)
        m_module->unload();
    m_module.reset();
    m_entry = nullptr;
    m_path.clear();
}

void PluginButtonTable::clear()
{
    m_entries.fill(PluginButtonInfo{});
}

void PluginButtonTable::set(int index, const QPixmap *bitmap, const QString &name)
{
    if (index < 0 || index >= kCapacity)
        return;
    m_entries[std::size_t(index)] = {bitmap, name};
}

int PluginButtonTable::count() const
{
    int n = 0;
    while (n < kCapacity && m_entries[std::size_t(n)].bitmap)
        ++n;
    return n;
}

PluginButtonTable &pluginButtons()
{
    static PluginButtonTable table;
    return table;
}

QString PluginSet::defaultFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/plugin");
}

QStringList PluginSet::scan(const QString &folder)
{
    QStringList accepted;
    // Sorted by name: the order must not depend on how the file system
    // happens to list the folder.
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.vpi")}, QDir::Files | QDir::Readable,
                                                           QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &file : files) {
        if (accepted.size() >= kMaxAccepted) {
            VRN_LOG_ERROR("Too many Plugins: %s and the following ones are not loaded!", qPrintable(file.fileName()));
            break;
        }
        PluginLibrary probe;
        if (!probe.load(file.absoluteFilePath())) {
            VRN_LOG_ERROR("Couldn't load the Plugin %s!", qPrintable(file.fileName()));
            continue;
        }
        if (probe.entry())
            accepted << file.absoluteFilePath();
    }
    return accepted;
}

void PluginSet::load(const QStringList &paths)
{
    unloadAll();
    for (const QString &path : paths) {
        auto library = std::make_unique<PluginLibrary>();
        library->load(path);
        m_libraries.push_back(std::move(library));
    }
}

void PluginSet::registerTemplates(CMyDocManager &manager, PluginButtonTable &buttons)
{
    for (int i = 0; i < count(); ++i) {
        const DLLDocTemplateFunction entry = m_libraries[std::size_t(i)]->entry();
        // A library that did not load again has no entry: skip it.
        CMyMultiDocTemplate *t = nullptr;
        try {
            t = entry ? entry() : nullptr;
        } catch (...) {
            // No exception may leave a plug-in; one that does loses its template.
            t = nullptr;
        }
        if (!t)
            continue;
        manager.addDocTemplate(t);
        buttons.set(i, &t->bitmap(), t->name());
    }
}

void PluginSet::unloadAll()
{
    m_libraries.clear();
}
