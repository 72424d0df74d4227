#pragma once
// `zar40 device --can BACKEND:IF scan`: which units are on the bus.
#include <string>

namespace zar40tool {

// Lists every unit on the bus at ADDRESS with Net-ID, device number, name
// and current preset; the exit code.
int scanBus(const std::string &address, bool quiet);

} // namespace zar40tool
