#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

namespace zar40::preset {

namespace {

constexpr std::size_t kInputSize = 88;
constexpr std::size_t kOutputBase = 264;
constexpr std::size_t kOutputSize = 160;
constexpr std::size_t kInputNames = 1254;
constexpr std::size_t kOutputNames = 1281;
constexpr std::size_t kNameSize = 9;
constexpr float kMutedGain = -200.0f;

std::optional<std::size_t> inGroup(Field f, std::initializer_list<Field> order)
{
    std::size_t k = 0;
    for (Field g : order) {
        if (g == f) return k * 4;
        ++k;
    }
    return std::nullopt;
}

// Where a field sits in the 1340-byte record; none for the mute flags, which
// the layout does not have.
std::optional<std::size_t> v1Offset(const FieldKey &k)
{
    if (k.channel == kPresetWide) {
        switch (k.field) {
        case Field::Number: return 1224;
        case Field::Name: return 1228;
        case Field::Author: return 1245;
        case Field::Flags: return 1336;
        default: return std::nullopt;
        }
    }
    const bool output = k.channel >= kFirstOutput;
    const auto o = static_cast<std::size_t>(k.channel - kFirstOutput);
    const auto i = static_cast<std::size_t>(k.channel);
    const std::size_t base = output ? kOutputBase + o * kOutputSize : i * kInputSize;
    const std::size_t bands = output ? 16 : 8;
    std::optional<std::size_t> at;
    switch (k.group) {
    case Group::Channel:
        if (k.field == Field::Name) return output ? kOutputNames + o * kNameSize : kInputNames + i * kNameSize;
        at = output ? inGroup(k.field, {Field::Route, Field::Delay, Field::Gain, Field::Phase})
                    : inGroup(k.field, {Field::Delay, Field::Gain});
        break;
    case Group::Peq:
        at = inGroup(k.field, {Field::Type, Field::Frequency, Field::Q, Field::Gain});
        if (at) *at += bands + static_cast<std::size_t>(k.index) * 16;
        break;
    case Group::HighCut:
    case Group::LowCut:
        at = inGroup(k.field, {Field::Type, Field::Frequency, Field::Order});
        if (at) *at += k.group == Group::HighCut ? 96 : 108;
        break;
    case Group::Dynamics:
        at = inGroup(k.field, {Field::Type, Field::Gain, Field::Threshold, Field::Knee, Field::Ratio, Field::Attack,
                               Field::Release});
        if (at) *at += 120;
        break;
    case Group::NoiseGate:
        at = inGroup(k.field, {Field::Threshold, Field::CloseTime, Field::HoldTime});
        if (at) *at += 148;
        break;
    case Group::Preset: break;
    }
    if (!at) return std::nullopt;
    return base + *at;
}

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

Result v1Failure(std::string detail)
{
    return Result::failure(std::string(kV1LoadError), std::move(detail));
}

// The version-1 layout had no mute flags: a muted channel was stored with
// its gain at -200 dB. The gain before muting is lost.
template <class Channel>
bool restoreMute(Channel &ch)
{
    if (ch.GAIN == kMutedGain) {
        ch.GAIN = 0.0f;
        ch.MUTE = 1;
        return true;
    }
    ch.MUTE = 0;
    return false;
}

} // namespace

Result readV1Preset(std::span<const std::uint8_t> bytes, PresetRecord &target)
{
    if (bytes.size() < kV1RecordSize)
        return v1Failure("file too short: " + std::to_string(bytes.size()) + " of " + std::to_string(kV1RecordSize) + " bytes");

    PresetRecord scratch;
    std::memset(&scratch, 0, sizeof scratch);
    for (const auto &d : fieldTable()) {
        const auto at = v1Offset(d.key);
        if (!at) continue;
        if (d.isText()) {
            // Up to the zero, never past the field's width.
            const char *text = reinterpret_cast<const char *>(bytes.data() + *at);
            const void *zero = std::memchr(text, 0, d.width);
            const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const char *>(zero) - text) : d.width;
            setFieldText(scratch, d, std::string_view(text, n));
        } else {
            setFieldWord(scratch, d, le32(bytes.data() + *at));
        }
    }
    bool replaced = false;
    for (auto &in : scratch.inputs) replaced |= restoreMute(in);
    for (auto &out : scratch.outputs) replaced |= restoreMute(out);

    target = scratch;
    Result res = Result::success();
    if (replaced) res.notices.emplace_back(kV1MutedGainNotice);
    return res;
}

Result readV1PresetFile(const std::string &path, PresetRecord &target)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return v1Failure(path + ": " + std::strerror(errno));
    std::uint8_t buf[kV1RecordSize];
    in.read(reinterpret_cast<char *>(buf), sizeof buf);
    const auto got = static_cast<std::size_t>(in.gcount());
    if (in.bad()) return v1Failure(path + ": read error");
    Result res = readV1Preset(std::span<const std::uint8_t>(buf, got), target);
    if (!res.ok) res.detail = path + ": " + res.detail;
    return res;
}

} // namespace zar40::preset
