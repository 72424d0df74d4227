#include "StringTable.h"

StringTable::StringTable(std::initializer_list<std::pair<unsigned, const char *>> entries)
{
    for (const auto &[id, text] : entries)
        entries_.insert(id, QString::fromUtf8(text));
}

QString StringTable::load(unsigned id) const
{
    QReadLocker lock(&lock_);
    return entries_.value(id);
}

QString StringTable::text(unsigned id, const QString &fallback) const
{
    QReadLocker lock(&lock_);
    const auto it = entries_.constFind(id);
    return it == entries_.constEnd() ? fallback : *it;
}

bool StringTable::contains(unsigned id) const
{
    QReadLocker lock(&lock_);
    return entries_.contains(id);
}

void StringTable::set(unsigned id, const QString &text)
{
    QWriteLocker lock(&lock_);
    entries_.insert(id, text);
}

void StringTable::remove(unsigned id)
{
    QWriteLocker lock(&lock_);
    entries_.remove(id);
}
