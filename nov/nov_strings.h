#pragma once

#include "StringTable.h"

namespace NovString {
enum : unsigned {
    Version = 4001,
    About = 4002,
    PluginName = 4003,
    Scan = 4004,
    Build = 4005,
    Module = 4006,
    Offline = 4007,
    Scanning = 4008,
};
}

// The NOV plug-in's own string table.
StringTable &novStrings();
