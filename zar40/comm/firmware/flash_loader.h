#pragma once
// The flash loader: processor code that the boot loader runs from RAM and
// that then erases and programs the flash. It is the maker's code and is not
// part of this source tree; it is installed beside the plug-in as
// ZAR40-flashloader.bin. An image is only taken when its size and its byte
// sum are those of the maker's loader: the boot loader's checksum reply is
// compared with the same image, so a wrong file would otherwise pass and the
// processor would run it. For the simulator and the tests the build makes a
// stand-in with the right sum (ZAR40-flashloader.standin.bin), which a real
// unit must never be given.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace zar40::firmware {

inline constexpr int kFlashLoaderSize = 9902;
inline constexpr const char *kFlashLoaderFileName = "ZAR40-flashloader.bin";
inline constexpr const char *kStandInFileName = "ZAR40-flashloader.standin.bin";
// The 16-bit byte sum of the maker's flash loader.
inline constexpr std::uint16_t kFlashLoaderChecksum = 0x4BA4;
// How the stand-in (and the placeholder before it) begins.
inline constexpr const char *kStandInMarker = "ZAR40 FLASH LOADER ";

struct FlashLoaderImage {
    QByteArray bytes;
    QString path;
    // The sum of all bytes, truncated to 16 bits, as the boot loader
    // reports it after the download.
    std::uint16_t checksum() const;
};

std::uint16_t imageChecksum(const QByteArray &bytes);

// Why BYTES cannot be the flash loader (its size or its byte sum, with the
// expected and the found figure), or an empty text when they can.
QString flashLoaderProblem(const QByteArray &bytes);
bool isStandIn(const QByteArray &bytes);

// Reads the image at PATH. Nothing, and the reason in *ERROR, when the file
// is missing, unreadable, not exactly kFlashLoaderSize bytes long or its
// byte sum is not kFlashLoaderChecksum.
std::optional<FlashLoaderImage> loadFlashLoader(const QString &path, QString *error);

// Where the plug-in looks for the image: beside the plug-in library that
// holds this code (the "plugin" folder), else beside the program.
QString defaultFlashLoaderPath();

} // namespace zar40::firmware
