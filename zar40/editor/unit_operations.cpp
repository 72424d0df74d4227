#include "unit_operations.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/model/parameter_writes.h"
#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace zar40::editor {

namespace fs = std::filesystem;

namespace {

QString deviceFailure(const comm::DeviceSession &s, const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, s.error());
}

// What a .vpx file can hold of RECORD: a file leaves out switched-off
// sections and the slot number, so comparisons go through the file format.
preset::PresetRecord asStoredInFile(const preset::PresetRecord &record)
{
    preset::PresetRecord out = record;
    preset::readXmlPreset(preset::xmlPresetDocument(record), out);
    out.number = record.number;
    return out;
}

bool readSlot(comm::DeviceSession &s, int slot, preset::PresetRecord &record, codec::DeviceSettings &settings)
{
    if (!s.switchToSlot(slot)) return false;
    record = preset::startupPreset(slot - 1);
    return s.readPreset(record, settings);
}

bool writeSettingsFile(const fs::path &path, const codec::DeviceSettings &settings, UnitError &error)
{
    std::ostringstream s;
    s << "# ZAR40 device settings\n"
      << "name=" << codec::deviceName(settings) << "\n"
      << "keyboard_lock=" << (codec::keyboardLocked(settings) ? 1 : 0) << "\n"
      << "device_number=" << codec::deviceNumber(settings) << "\n";
    const auto res = preset::writeFileAtomically(path.string(), s.str());
    if (!res) error = {QString::fromStdString(res.message + " (" + res.detail + ")"), false};
    return res.ok;
}

// The name and the keyboard lock; the device number is read only.
bool readSettingsFile(const fs::path &path, std::string &name, bool &locked)
{
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    bool haveName = false;
    while (std::getline(in, line) && line.size() < 4096) {
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "name") {
            name = value.substr(0, codec::kDeviceNameWidth);
            haveName = true;
        } else if (key == "keyboard_lock") {
            locked = value == "1";
        }
    }
    return haveName;
}

bool loadFile(const fs::path &path, preset::PresetRecord &record, UnitError &error)
{
    const preset::Result res = preset::readPresetFile(path.string(), record);
    if (!res.ok) error = {QString::fromStdString(path.string() + ": " + res.message), false};
    return res.ok;
}

struct RestorePlan {
    std::vector<std::pair<int, preset::PresetRecord>> slotRecords;
    bool haveSettings = false;
    std::string name;
    bool locked = false;
};

bool planRestore(const fs::path &dir, RestorePlan &plan, UnitError &error)
{
    for (int slot = 1; slot <= preset::kPresetCount; ++slot) {
        const fs::path file = dir / slotFileName(slot);
        if (!fs::exists(file)) continue;
        preset::PresetRecord record{};
        if (!loadFile(file, record, error)) return false;
        plan.slotRecords.emplace_back(slot, record);
    }
    plan.haveSettings = readSettingsFile(dir / kSettingsFileName, plan.name, plan.locked);
    if (plan.slotRecords.empty() && !plan.haveSettings) {
        error = {QString::fromStdString(dir.string() + " holds no slot-NN.vpx files and no " + kSettingsFileName),
                 false};
        return false;
    }
    return true;
}

} // namespace

std::string slotFileName(int slot)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "slot-%02d.vpx", slot);
    return buf;
}

bool backupUnit(comm::DeviceSession &s, const fs::path &dir, const UnitProgress &progress, UnitError &error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = {QString::fromStdString("cannot create " + dir.string() + ": " + ec.message()), false};
        return false;
    }
    const int total = 2 * preset::kPresetCount;
    codec::DeviceSettings settings{};
    for (int slot = 1; slot <= preset::kPresetCount; ++slot) {
        preset::PresetRecord record{};
        if (!readSlot(s, slot, record, settings)) {
            error = {deviceFailure(s, QStringLiteral("reading slot %1").arg(slot)), true};
            return false;
        }
        const auto res = preset::writeXmlPresetFile(record, (dir / slotFileName(slot)).string());
        if (!res) {
            error = {QString::fromStdString(res.message + " (" + res.detail + ")"), false};
            return false;
        }
        if (progress) progress(slot, total, QStringLiteral("Slot %1 saved").arg(slot));
    }
    if (!writeSettingsFile(dir / kSettingsFileName, settings, error)) return false;

    // Every file must hold what the unit holds now.
    for (int slot = 1; slot <= preset::kPresetCount; ++slot) {
        preset::PresetRecord fromFile{};
        if (!loadFile(dir / slotFileName(slot), fromFile, error)) return false;
        preset::PresetRecord again{};
        codec::DeviceSettings unused{};
        if (!readSlot(s, slot, again, unused)) {
            error = {deviceFailure(s, QStringLiteral("verifying slot %1").arg(slot)), true};
            return false;
        }
        for (const auto *f : preset::differingFields(asStoredInFile(fromFile), asStoredInFile(again))) {
            if (f->key.field == preset::Field::Number) continue;
            error = {QStringLiteral("verification of slot %1 failed at %2").arg(slot).arg(QString::fromStdString(f->path)),
                     false};
            return false;
        }
        if (progress) progress(preset::kPresetCount + slot, total, QStringLiteral("Slot %1 verified").arg(slot));
    }
    return true;
}

bool checkRestoreFolder(const fs::path &dir, UnitError &error)
{
    RestorePlan plan;
    return planRestore(dir, plan, error);
}

bool restoreUnit(comm::DeviceSession &s, const fs::path &dir, const UnitProgress &progress, UnitError &error)
{
    RestorePlan plan;
    if (!planRestore(dir, plan, error)) return false;
    const int total = static_cast<int>(plan.slotRecords.size()) + (plan.haveSettings ? 1 : 0);
    int done = 0;
    for (const auto &[slot, record] : plan.slotRecords) {
        if (!(s.switchToSlot(slot) && s.writePreset(record) && s.storeToSlot(slot))) {
            error = {deviceFailure(s, QStringLiteral("restoring slot %1").arg(slot)), true};
            return false;
        }
        if (progress) progress(++done, total, QStringLiteral("Slot %1 restored").arg(slot));
    }
    if (plan.haveSettings) {
        std::vector<codec::Message> requests;
        for (const model::ParameterWrite &w : model::deviceSettingsWrites(plan.name, plan.locked, std::nullopt))
            requests.push_back({w.code, w.address, w.value});
        if (!s.sendAll(requests)) {
            error = {deviceFailure(s, QStringLiteral("restoring the device settings")), true};
            return false;
        }
        if (progress) progress(++done, total, QStringLiteral("Device name and keyboard lock restored"));
    }
    return true;
}

bool setAllOutputsMuted(comm::DeviceSession &s, bool muted, UnitError &error)
{
    // From the opposite state, so that the batch names all six outputs
    // whatever the unit plays now.
    preset::PresetRecord record{};
    for (auto &out : record.outputs) out.MUTE = muted ? 0 : 1;
    std::vector<codec::Message> requests;
    for (const model::ParameterWrite &w : model::applyMuteAll(record, muted))
        requests.push_back({w.code, w.address, w.value});
    if (!s.sendAll(requests)) {
        error = {deviceFailure(s, muted ? QStringLiteral("muting the outputs") : QStringLiteral("unmuting the outputs")),
                 true};
        return false;
    }
    return true;
}

bool currentSlot(comm::DeviceSession &s, int &slot, UnitError &error)
{
    const auto address = codec::addressOf(
        preset::FieldKey{preset::kPresetWide, preset::Group::Preset, 0, preset::Field::Number});
    std::uint32_t value = 0;
    if (!address || !s.readParameter(*address, value)) {
        error = {deviceFailure(s, QStringLiteral("reading the slot it plays")), true};
        return false;
    }
    // The preset number counts from 0.
    if (value >= static_cast<std::uint32_t>(preset::kPresetCount)) {
        error = {QStringLiteral("the unit names slot %1, which does not exist").arg(value + 1), true};
        return false;
    }
    slot = static_cast<int>(value) + 1;
    return true;
}

} // namespace zar40::editor
