#pragma once
// How long the editor and the tool give a unit after the requests that it
// answers before it has finished: a slot switch, a store, the device
// settings. One set, so that a unit driven from the window and from the
// command line gets the same time.
namespace zar40::comm {

// After ReqLoadPreset the unit is still loading the slot.
inline constexpr int kSlotChangeWaitMs = 3000;
// ... and needs a moment more before the first transfer.
inline constexpr int kSettleMs = 500;
// After ReqStorePreset (and the device settings) the unit is still writing
// its flash.
inline constexpr int kStoreWaitMs = 6000;
// A wait box given no time of its own.
inline constexpr int kDefaultWaitMs = 4000;

} // namespace zar40::comm
