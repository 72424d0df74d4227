#pragma once

#include "StringTable.h"

namespace NovString {
enum : unsigned { PluginName = 4003 };
}

// The NOV plug-in's own string table.
StringTable &novStrings();
