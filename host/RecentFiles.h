#pragma once

#include <QStringList>

class QSettings;

// The files opened last, newest first, as kept in the profile's
// "Recent File List" section (keys File1, File2, ...).
class RecentFiles
{
public:
    explicit RecentFiles(int capacity);

    // Replaces the list with what the profile holds (empty keys skipped).
    void load(QSettings &profile);
    void save(QSettings &profile) const;

    // Puts path first; an entry for the same file moves rather than repeats.
    void add(const QString &path);
    void remove(const QString &path);

    QStringList files() const { return m_files; }
    int capacity() const { return m_capacity; }

private:
    int m_capacity;
    QStringList m_files;
};
