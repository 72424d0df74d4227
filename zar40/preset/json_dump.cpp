#include "zar40/preset/json_dump.h"

#include "zar40/preset/fields.h"
#include "zar40/preset/text_codec.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <vector>

namespace zar40::preset {

namespace {

// One step of a field path: a key, or an index into the array the previous
// key names.
struct Step {
    std::string key;
    int index = -1; // -1: a key step

    bool operator==(const Step &) const = default;
};

std::vector<Step> stepsOf(const std::string &path)
{
    std::vector<Step> steps;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t end = path.find('.', i);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(i, end - i);
        const std::size_t bracket = part.find('[');
        if (bracket == std::string::npos) {
            steps.push_back({part});
        } else {
            steps.push_back({part.substr(0, bracket)});
            steps.push_back({"", std::stoi(part.substr(bracket + 1))});
        }
        i = end + 1;
    }
    return steps;
}

std::string numberText(const PresetRecord &r, const FieldDescriptor &d, JsonNumbers numbers)
{
    const std::uint32_t w = fieldWord(r, d);
    char buf[32];
    if (numbers == JsonNumbers::RawWords) {
        std::snprintf(buf, sizeof buf, "\"0x%08X\"", static_cast<unsigned>(w));
        return buf;
    }
    if (d.type != FieldType::F32) return std::to_string(w);
    const float f = std::bit_cast<float>(w);
    if (std::isnan(f)) return "\"nan\"";
    if (std::isinf(f)) return f > 0 ? "\"inf\"" : "\"-inf\"";
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
    return buf;
}

// Writes nested objects and arrays from the table's flat paths. The table
// keeps every container's fields together, so one pass suffices.
class Emitter {
public:
    std::string out = "{";

    void field(const std::vector<Step> &steps, const std::string &value)
    {
        const std::size_t containers = steps.size() - 1;
        std::size_t common = 0;
        while (common < open_.size() && common < containers && open_[common].step == steps[common]) ++common;
        while (open_.size() > common) close();
        for (std::size_t k = common; k < containers; ++k) {
            const bool arrayFollows = steps[k + 1].index >= 0;
            if (steps[k].index >= 0) {
                member();
                out += '{';
                open_.push_back({steps[k], '}'});
            } else {
                member();
                out += jsonString(steps[k].key) + ": " + (arrayFollows ? "[" : "{");
                open_.push_back({steps[k], arrayFollows ? ']' : '}'});
            }
        }
        member();
        out += jsonString(steps.back().key) + ": " + value;
    }

    std::string finish()
    {
        while (!open_.empty()) close();
        out += "\n}\n";
        return std::move(out);
    }

private:
    struct Open {
        Step step;
        char closer;
        bool hasMembers = false;
    };
    std::vector<Open> open_;
    bool rootHasMembers_ = false;

    void newline(std::size_t depth)
    {
        out += '\n';
        out.append(depth * 2, ' ');
    }

    void member()
    {
        bool &has = open_.empty() ? rootHasMembers_ : open_.back().hasMembers;
        if (has) out += ',';
        has = true;
        newline(open_.size() + 1);
    }

    void close()
    {
        const char c = open_.back().closer;
        open_.pop_back();
        newline(open_.size() + 1);
        out += c;
    }
};

} // namespace

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string presetToJson(const PresetRecord &record, JsonNumbers numbers)
{
    Emitter e;
    for (const auto &d : fieldTable()) {
        const std::string value =
            d.isText() ? jsonString(cp1252ToUtf8(fieldText(record, d))) : numberText(record, d, numbers);
        e.field(stepsOf(d.path), value);
    }
    return e.finish();
}

} // namespace zar40::preset
