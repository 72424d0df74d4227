#pragma once
// Reading the preset file a command names, with the reader's texts on
// stderr, the same way for every command.
#include "zar40/preset/record.h"

#include <string>

namespace zar40tool {

// Reads a .vpx or .vpf file. On failure prints the reader's message and,
// in brackets, what exactly went wrong; on success prints its notices.
// With a context ("zar40 device") the message is "CONTEXT: PATH: message".
bool readPresetForCommand(const std::string &path, zar40::preset::PresetRecord &record,
                          const std::string &context = {});

} // namespace zar40tool
