#pragma once
// The flash loader: processor code that the boot loader runs from RAM and
// that then erases and programs the flash. It is the maker's code and is not
// part of this source tree; it is installed beside the plug-in as
// ZAR40-flashloader.bin. The build ships a placeholder of the same size for
// the simulator and the tests, which a real unit must never be given.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace zar40::firmware {

inline constexpr int kFlashLoaderSize = 9902;
inline constexpr const char *kFlashLoaderFileName = "ZAR40-flashloader.bin";
inline constexpr const char *kPlaceholderFileName = "ZAR40-flashloader.placeholder.bin";

struct FlashLoaderImage {
    QByteArray bytes;
    QString path;
    // The sum of all bytes, truncated to 16 bits, as the boot loader
    // reports it after the download.
    std::uint16_t checksum() const;
};

std::uint16_t imageChecksum(const QByteArray &bytes);

// Reads the image at PATH. Nothing, and the reason in *ERROR, when the file
// is missing, unreadable or not exactly kFlashLoaderSize bytes long.
std::optional<FlashLoaderImage> loadFlashLoader(const QString &path, QString *error);

// Where the plug-in looks for the image: beside the plug-in library that
// holds this code (the "plugin" folder), else beside the program.
QString defaultFlashLoaderPath();

} // namespace zar40::firmware
