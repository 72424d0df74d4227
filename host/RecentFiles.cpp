#include "RecentFiles.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Recent File List");

QString key(int i)
{
    return QStringLiteral("File%1").arg(i + 1);
}

QString normalised(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

RecentFiles::RecentFiles(int capacity)
    : m_capacity(capacity)
{
}

void RecentFiles::load(QSettings &profile)
{
    m_files.clear();
    profile.beginGroup(kSection);
    for (int i = 0; i < m_capacity; ++i) {
        const QString path = profile.value(key(i)).toString();
        if (!path.isEmpty() && !m_files.contains(normalised(path)))
            m_files << normalised(path);
    }
    profile.endGroup();
}

void RecentFiles::save(QSettings &profile) const
{
    profile.beginGroup(kSection);
    for (int i = 0; i < m_capacity; ++i) {
        if (i < m_files.size())
            profile.setValue(key(i), m_files.at(i));
        else
            profile.remove(key(i));
    }
    profile.endGroup();
}

void RecentFiles::add(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString p = normalised(path);
    m_files.removeAll(p);
    m_files.prepend(p);
    while (m_files.size() > m_capacity)
        m_files.removeLast();
}

void RecentFiles::remove(const QString &path)
{
    m_files.removeAll(normalised(path));
}
