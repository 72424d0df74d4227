#include "flashloader.h"

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
    if (bytes.size() != kFlashLoaderSize)
        return fail(QStringLiteral("The flash loader image %1 is %2 bytes long, not %3: it is not a ZAR40 flash loader.")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(bytes.size() > kFlashLoaderSize ? QStringLiteral("more than %1").arg(kFlashLoaderSize)
                                                             : QString::number(bytes.size()))
                        .arg(kFlashLoaderSize));
    return FlashLoaderImage{std::move(bytes), QFileInfo(path).absoluteFilePath()};
}

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
