#include "flash_loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace zar40::firmware {

std::uint16_t imageChecksum(const QByteArray &bytes)
{
    std::uint32_t sum = 0;
    for (char c : bytes) sum += static_cast<std::uint8_t>(c);
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::uint16_t FlashLoaderImage::checksum() const { return imageChecksum(bytes); }

std::optional<FlashLoaderImage> loadFlashLoader(const QString &path, QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<FlashLoaderImage> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (path.isEmpty()) return fail(QStringLiteral("No flash loader image was given."));
    QFile f(path);
    if (!f.exists())
        return fail(QStringLiteral("The flash loader image %1 is missing. Install the ZAR40 flash loader "
                                   "(%2, %3 bytes) beside the plug-in.")
                        .arg(QDir::toNativeSeparators(path), QLatin1String(kFlashLoaderFileName))
                        .arg(kFlashLoaderSize));
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("The flash loader image %1 cannot be read: %2").arg(QDir::toNativeSeparators(path), f.errorString()));
    // One byte more than expected is enough to tell a wrong file.
    QByteArray bytes = f.read(kFlashLoaderSize + 1);
    const QString problem = flashLoaderProblem(bytes);
    if (!problem.isEmpty())
        return fail(QStringLiteral("The flash loader image %1 %2").arg(QDir::toNativeSeparators(path), problem));
    return FlashLoaderImage{std::move(bytes), QFileInfo(path).absoluteFilePath()};
}

QString flashLoaderProblem(const QByteArray &bytes)
{
    if (bytes.size() != kFlashLoaderSize)
        return QStringLiteral("is %1 bytes long, not %2: it is not a ZAR40 flash loader.")
            .arg(bytes.size() > kFlashLoaderSize ? QStringLiteral("more than %1").arg(kFlashLoaderSize)
                                                 : QString::number(bytes.size()))
            .arg(kFlashLoaderSize);
    const auto hex = [](std::uint16_t v) { return QStringLiteral("0x%1").arg(QString::number(v, 16).toUpper(), 4, QLatin1Char('0')); };
    const std::uint16_t sum = imageChecksum(bytes);
    if (sum != kFlashLoaderChecksum)
        return QStringLiteral("has the byte sum %1, not %2: it is not the ZAR40 flash loader.")
            .arg(hex(sum), hex(kFlashLoaderChecksum));
    return {};
}

bool isStandIn(const QByteArray &bytes) { return bytes.startsWith(kStandInMarker); }

QString defaultFlashLoaderPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&defaultFlashLoaderPath), &info) != 0 && info.dli_fname) {
        const QFileInfo lib(QString::fromLocal8Bit(info.dli_fname));
        // Linked into the plug-in: the image lies beside it.
        if (lib.suffix() == QLatin1String("vpi")) return lib.dir().filePath(QLatin1String(kFlashLoaderFileName));
    }
    const QString programDir = QCoreApplication::applicationDirPath();
    return QDir(programDir).filePath(QStringLiteral("plugin/") + QLatin1String(kFlashLoaderFileName));
}

} // namespace zar40::firmware
