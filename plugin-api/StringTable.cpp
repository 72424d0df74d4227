#include "StringTable.h"

StringTable::StringTable(std::initializer_list<std::pair<unsigned, const char *>> entries)
{
    for (const auto &[id, text] : entries)
        m_entries.insert(id, QString::fromUtf8(text));
}

QString StringTable::load(unsigned id) const
{
    QReadLocker lock(&m_lock);
    return m_entries.value(id);
}

QString StringTable::text(unsigned id, const QString &fallback) const
{
    QReadLocker lock(&m_lock);
    const auto it = m_entries.constFind(id);
    return it == m_entries.constEnd() ? fallback : *it;
}

bool StringTable::contains(unsigned id) const
{
    QReadLocker lock(&m_lock);
    return m_entries.contains(id);
}

void StringTable::set(unsigned id, const QString &text)
{
    QWriteLocker lock(&m_lock);
    m_entries.insert(id, text);
}

void StringTable::remove(unsigned id)
{
    QWriteLocker lock(&m_lock);
    m_entries.remove(id);
}
