#include "zar40/preset/channel_names.h"

#include "zar40/preset/record.h"

namespace zar40::preset {

std::string channelName(int channel, ChannelNameForm form)
{
    const bool title = form == ChannelNameForm::Title;
    switch (channel) {
    case kInputA: return title ? "Input A" : "IN A";
    case kSumme: return form == ChannelNameForm::Flow ? "IN A+B" : "Summe";
    case kInputB: return title ? "Input B" : "IN B";
    default: break;
    }
    if (channel < kFirstOutput || channel >= kChannelCount) return {};
    return (title ? "Output " : "OUT ") + std::to_string(channel - kFirstOutput + 1);
}

} // namespace zar40::preset
