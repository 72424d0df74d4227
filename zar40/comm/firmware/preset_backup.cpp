#include "preset_backup.h"

#include "zar40/preset/preset_files.h"

#include <QDir>
#include <QFile>

namespace zar40::firmware {

namespace {

bool fail(QString *error, const QString &text)
{
    if (error) *error = text;
    return false;
}

} // namespace

QString presetSlotFileName(int slot)
{
    return QStringLiteral("slot-%1.vpx").arg(slot, 2, 10, QLatin1Char('0'));
}

bool backupPresets(comm::DeviceSession &session, const QString &dir, const SlotProgress &progress, QString *error)
{
    if (!QDir().mkpath(dir)) return fail(error, QStringLiteral("Cannot create the folder %1").arg(dir));
    for (int slot = 1; slot <= preset::kPresetCount; ++slot) {
        preset::PresetRecord record = preset::startupPreset(slot - 1);
        codec::DeviceSettings settings{};
        if (!session.switchToSlot(slot) || !session.readPreset(record, settings))
            return fail(error, QStringLiteral("Reading preset %1 failed: %2").arg(slot).arg(session.error()));
        const QString path = QDir(dir).filePath(presetSlotFileName(slot));
        const auto saved = preset::writeXmlPresetFile(record, QFile::encodeName(path).toStdString());
        if (!saved)
            return fail(error, QStringLiteral("Saving preset %1 to %2 failed: %3")
                                   .arg(slot)
                                   .arg(path, QString::fromStdString(saved.message)));
        if (progress) progress(slot);
    }
    return true;
}

bool restorePresets(comm::DeviceSession &session, const QString &dir, const SlotProgress &progress, QString *error)
{
    int restored = 0;
    for (int slot = 1; slot <= preset::kPresetCount; ++slot) {
        const QString path = QDir(dir).filePath(presetSlotFileName(slot));
        if (!QFile::exists(path)) continue;
        preset::PresetRecord record{};
        const auto read = preset::readXmlPresetFile(QFile::encodeName(path).toStdString(), record);
        if (!read) return fail(error, QStringLiteral("%1: %2").arg(path, QString::fromStdString(read.message)));
        if (!session.switchToSlot(slot) || !session.writePreset(record) || !session.storeToSlot(slot))
            return fail(error, QStringLiteral("Writing preset %1 failed: %2").arg(slot).arg(session.error()));
        ++restored;
        if (progress) progress(slot);
    }
    if (restored == 0) return fail(error, QStringLiteral("%1 holds no saved presets").arg(dir));
    return true;
}

} // namespace zar40::firmware
