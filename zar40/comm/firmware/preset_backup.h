#pragma once
// The 32 presets of a unit saved before a firmware update and written back
// after it, in the layout of 'zar40 device backup' (slot-01.vpx ...
// slot-32.vpx), so that either can restore what the other saved.
#include "zar40/comm/DeviceSession.h"

#include <QString>

#include <functional>

namespace zar40::firmware {

// Called with each slot (1 to 32) once it is done.
using SlotProgress = std::function<void(int slot)>;

QString presetSlotFileName(int slot);

// Reads every slot of the connected unit into DIR (created if needed).
// False, and the reason in *ERROR, when a slot cannot be read or saved.
bool backupPresets(comm::DeviceSession &session, const QString &dir, const SlotProgress &progress, QString *error);

// Writes every slot file of DIR into its slot and stores it there.
bool restorePresets(comm::DeviceSession &session, const QString &dir, const SlotProgress &progress, QString *error);

} // namespace zar40::firmware
