#include "request_codes.h"

#include <array>

namespace zar40::codec {

namespace {

constexpr std::array<RequestCodeInfo, 32> kCodes{{
    {Idle_State_PC, "Idle_State_PC", false},
    {ReqConnect, "ReqConnect", true},
    {RepConnect, "RepConnect", false},
    {ReqDeviceID, "ReqDeviceID", true},
    {RepDeviceID, "RepDeviceID", false},
    {ReqRevision, "ReqRevision", true},
    {RepRevision, "RepRevision", false},
    {ReqCompPwd, "ReqCompPwd", true},
    {RepCompPwd, "RepCompPwd", false},
    {ReqWritePwd, "ReqWritePwd", true},
    {RepWritePwd, "RepWritePwd", false},
    {ReqLoadPreset, "ReqLoadPreset", true},
    {RepLoadPreset, "RepLoadPreset", false},
    {ReqStorePreset, "ReqStorePreset", true},
    {RepStorePreset, "RepStorePreset", false},
    {ReqReadPara, "ReqReadPara", true},
    {RepReadPara, "RepReadPara", false},
    {ReqWritePara, "ReqWritePara", true},
    {RepWritePara, "RepWritePara", false},
    {ReqWritePreset, "ReqWritePreset", true},
    {RepWritePreset, "RepWritePreset", false},
    {ReqReadMuteState, "ReqReadMuteState", true},
    {RepReadMuteState, "RepReadMuteState", false},
    {ReqReadPotiVal, "ReqReadPotiVal", true},
    {RepReadPotiVal, "RepReadPotiVal", false},
    {ReqReadPegelVal, "ReqReadPegelVal", true},
    {RepReadPegelVal, "RepReadPegelVal", false},
    {ReqReady, "ReqReady", true},
    {RepReady, "RepReady", false},
    {ReqDisconnect, "ReqDisconnect", true},
    {RepDisconnect, "RepDisconnect", false},
    {RepError, "RepError", false},
}};

} // namespace

std::span<const RequestCodeInfo> requestCodeTable() { return kCodes; }

std::string_view requestCodeName(std::uint32_t code)
{
    for (const auto &c : kCodes)
        if (c.code == code) return c.name;
    return {};
}

std::optional<RequestCode> requestCodeFromName(std::string_view name)
{
    for (const auto &c : kCodes)
        if (c.name == name) return c.code;
    return std::nullopt;
}

} // namespace zar40::codec
