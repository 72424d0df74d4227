#include "NOVStrings.h"

StringTable &novStrings()
{
    static StringTable table{
        {NovString::PluginName, "NOV"},
    };
    return table;
}
