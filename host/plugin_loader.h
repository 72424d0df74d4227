#pragma once

#include "MyMultiDocTemplate.h"

#include <QLibrary>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class CMyDocManager;

// One plug-in library. Destroying the record unloads the library.
class PluginLibrary
{
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    // Loads the library at path and looks up DLLDocTemplate. Returns whether
    // the library loaded, whether or not it has the entry.
    bool load(const QString &path);
    void unload();

    QString path() const { return m_path; }
    bool loaded() const { return m_module && m_module->isLoaded(); }
    DLLDocTemplateFunction entry() const { return m_entry; }
    QString errorString() const { return m_error; }

private:
    QString m_path;
    std::unique_ptr<QLibrary> m_module;
    DLLDocTemplateFunction m_entry = nullptr;
    QString m_error;
};

// What the toolbar shows for plug-in i. A null bitmap ends the table.
struct PluginButtonInfo
{
    const QPixmap *bitmap = nullptr;
    QString name;
};

class PluginButtonTable
{
public:
    static constexpr int kCapacity = 1000;
    void clear();
    void set(int index, const QPixmap *bitmap, const QString &name);
    const PluginButtonInfo &at(int index) const { return m_entries.at(std::size_t(index)); }
    // The entries before the first one without a bitmap.
    int count() const;

private:
    std::array<PluginButtonInfo, kCapacity> m_entries{};
};

// The process-wide table the main frame builds its buttons from.
PluginButtonTable &pluginButtons();

// The loaded plug-ins of the host.
class PluginSet
{
public:
    static constexpr int kMaxAccepted = 100;

    // The program's plugin folder: <folder of the program>/plugin.
    static QString defaultFolder();

    // The *.vpi files of folder (by name) that load and export
    // DLLDocTemplate, at most kMaxAccepted. Files that are no library are
    // logged; libraries without the entry are skipped silently.
    static QStringList scan(const QString &folder);

    // Loads the accepted paths for good.
    void load(const QStringList &paths);
    // Asks each plug-in for its template, registers it and fills the button table.
    void registerTemplates(CMyDocManager &manager, PluginButtonTable &buttons);
    void unloadAll();

    int count() const { return int(m_libraries.size()); }
    const PluginLibrary &at(int i) const { return *m_libraries.at(std::size_t(i)); }

private:
    std::vector<std::unique_ptr<PluginLibrary>> m_libraries;
};
