#pragma once
// What the unit has: its channels and the equalizer bands of each. The preset
// record and the signal math both stand on the lowest floor and may not read
// each other, so these counts live here, below both, and each names them in
// its own type.

namespace zar40 {

inline constexpr int kInputCount = 3;  // input A, Summe (A+B), input B
inline constexpr int kOutputCount = 6; // outputs 1 to 6
inline constexpr int kBandCount = 5;   // equalizer bands per channel

} // namespace zar40
