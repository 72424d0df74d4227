#pragma once
// The device's request and reply codes. A code is also the protocol state of
// the connection (0 = idle), so the names are the device protocol's own.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zar40::codec {

enum RequestCode : std::uint16_t {
    Idle_State_PC = 0,
    ReqConnect = 8,
    RepConnect = 16,
    ReqDeviceID = 24,
    RepDeviceID = 32,
    ReqRevision = 40,
    RepRevision = 48,
    ReqCompPwd = 56,
    RepCompPwd = 64,
    ReqWritePwd = 72,
    RepWritePwd = 80,
    ReqLoadPreset = 88,
    RepLoadPreset = 96,
    ReqStorePreset = 104,
    RepStorePreset = 112,
    ReqReadPara = 120,
    RepReadPara = 128,
    ReqWritePara = 136,
    RepWritePara = 144,
    ReqWritePreset = 152,
    RepWritePreset = 160,
    ReqReadMuteState = 168,
    RepReadMuteState = 176,
    ReqReadPotiVal = 184,
    RepReadPotiVal = 192,
    ReqReadPegelVal = 200,
    RepReadPegelVal = 208,
    ReqReady = 224,
    RepReady = 232,
    ReqDisconnect = 240,
    RepDisconnect = 248,
    RepError = 255,
};

struct RequestCodeInfo {
    RequestCode code;
    std::string_view name;
    bool isRequest; // false for replies and for the idle state
};

// Every named code, in ascending order (code 216 has no name).
std::span<const RequestCodeInfo> requestCodeTable();

// The name of CODE, or an empty view for a code without a name.
std::string_view requestCodeName(std::uint32_t code);

// The named code, if NAME is one of the table's names.
std::optional<RequestCode> requestCodeFromName(std::string_view name);

// A reply's code is its request's code plus 8. RepError is not the reply of
// any request, so replyCodeFor never yields it.
constexpr std::uint16_t replyCodeFor(std::uint16_t request) { return static_cast<std::uint16_t>(request + 8); }

// True for the three polls whose replies carry 0xFFFFFFFF when the device has
// no value, and which go to the level panel rather than the state machine.
constexpr bool isPollReplyCode(std::uint32_t code)
{
    return code == RepReadMuteState || code == RepReadPotiVal || code == RepReadPegelVal;
}
constexpr bool isPollRequestCode(std::uint32_t code)
{
    return code == ReqReadMuteState || code == ReqReadPotiVal || code == ReqReadPegelVal;
}

} // namespace zar40::codec
