#include "nov_strings.h"

StringTable &novStrings()
{
    static StringTable table{
        {NovString::Version, "Version"},
        {NovString::About, "About"},
        {NovString::PluginName, "NOV"},
        {NovString::Scan, "Scan"},
        {NovString::Build, "Build"},
        {NovString::Module, "Modul"},
        {NovString::Offline, "Offline"},
        {NovString::Scanning, "Scanne"},
    };
    return table;
}
