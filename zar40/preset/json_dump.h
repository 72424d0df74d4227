#pragma once
// The whole record as JSON, for the command-line tool and for scripts.
//
// Keys follow the field table's paths: number, name, author, flags, then
// inputs[3] (name, delay, gain, mute, peq[5] with type, frequency, q, gain)
// and outputs[6] (the same plus route, phase, high_cut and low_cut with
// type, frequency, order, dynamics with type, gain, threshold, knee, ratio,
// attack, release, and noise_gate with threshold, close_time, hold_time).
#include "zar40/preset/record.h"

#include <string>

namespace zar40::preset {

enum class JsonNumbers {
    Values,   // integers as integers, floats as "%.9g" (round-trips), "nan"/"inf"/"-inf" as strings
    RawWords, // every number as its 32-bit word, the string "0x%08X"
};

// Texts are converted from Windows-1252 to UTF-8. The result ends with a newline.
std::string presetToJson(const PresetRecord &record, JsonNumbers numbers = JsonNumbers::Values);

// A JSON string literal, quotes included, of UTF-8 text.
std::string jsonString(std::string_view utf8);

} // namespace zar40::preset
