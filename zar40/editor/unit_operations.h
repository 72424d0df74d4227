#pragma once
// What can be done to one unit as a whole: back it up into a folder and
// restore it from one, recall or store a slot, mute or unmute its outputs.
// Each runs on a connected DeviceSession, one step after the other, so the
// same code serves `zar40 device`, `zar40 system` and the units window.
#include "zar40/comm/DeviceSession.h"
#include "zar40/preset/record.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <string>

namespace zar40::editor {

// DONE of TOTAL steps, and what just happened ("Slot 3 saved").
using UnitProgress = std::function<void(int done, int total, const QString &what)>;

inline constexpr const char *kSettingsFileName = "device-settings.txt";
std::string slotFileName(int slot); // slot-01.vpx ... slot-32.vpx

// A failure: what was being done and why. File problems give a message with
// no device failure.
struct UnitError {
    QString text;
    bool device = false; // the unit (or the link), not a file, failed
};

// Every slot into DIR/slot-NN.vpx and the device settings into
// DIR/device-settings.txt, then every file checked against the unit by
// reading each slot again.
bool backupUnit(comm::DeviceSession &session, const std::filesystem::path &dir, const UnitProgress &progress,
                UnitError &error);
// Whatever of that DIR holds: each slot-NN.vpx written and stored in its
// slot, then the name and keyboard lock. A folder with neither is an error.
bool restoreUnit(comm::DeviceSession &session, const std::filesystem::path &dir, const UnitProgress &progress,
                 UnitError &error);
// Checks DIR before anything is sent: false with the reason when it holds
// nothing to restore or a file that cannot be read.
bool checkRestoreFolder(const std::filesystem::path &dir, UnitError &error);

// Mutes or unmutes all six outputs in one batch.
bool setAllOutputsMuted(comm::DeviceSession &session, bool muted, UnitError &error);
// The slot the unit plays, 1 to 32.
bool currentSlot(comm::DeviceSession &session, int &slot, UnitError &error);

} // namespace zar40::editor
