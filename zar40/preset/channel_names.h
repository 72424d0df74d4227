#pragma once
// The fixed names of the nine channels, for every place that shows them: a
// heading ("Input A", "Summe", "Output 3"), a fader's caption ("IN A",
// "Summe", "OUT 3") and the signal-flow picture, where the sum is drawn as
// what it is ("IN A+B"). The names a user gives the channels are the
// record's.
#include <string>

namespace zar40::preset {

enum class ChannelNameForm { Title, Caption, Flow };

// Empty for an index outside 0 to 8.
std::string channelName(int channel, ChannelNameForm form);

} // namespace zar40::preset
