#pragma once
// One message as a line of the --verbose log, the same for every front end.
#include "zar40/comm/codec/message.h"

#include <string>

namespace zar40sim {

// "ReqReadPara       4300 0x00000000"; a code without a name as "code 17".
std::string describeMessage(const zar40::codec::Message &m);

} // namespace zar40sim
