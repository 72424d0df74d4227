#pragma once

#include "vrn_plugin_api_export.h"

#include <QHash>
#include <QReadWriteLock>
#include <QString>

#include <initializer_list>
#include <utility>

// A module's table of user-visible texts, looked up by number. Every module
// (host, each plug-in) has its own table, so the same number can mean
// different texts in different modules. Code that carries a fallback literal
// uses text(id, fallback); a test can remove an entry and see the fallback.
class VRN_PLUGIN_API StringTable
{
public:
    StringTable() = default;
    StringTable(std::initializer_list<std::pair<unsigned, const char *>> entries); // UTF-8 texts

    // The entry, or an empty text when there is none.
    QString load(unsigned id) const;
    // The entry, or fallback when there is none.
    QString text(unsigned id, const QString &fallback) const;
    bool contains(unsigned id) const;

    void set(unsigned id, const QString &text);
    void remove(unsigned id);

private:
    mutable QReadWriteLock m_lock;
    QHash<unsigned, QString> m_entries;
};
