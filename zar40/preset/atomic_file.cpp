#include "zar40/preset/preset_files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zar40::preset {

namespace {

Result saveFailure(const std::string &what, int err)
{
    return Result::failure(std::string(kXmlSaveError), what + ": " + std::strerror(err));
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

Result writeFileAtomically(const std::string &requested, std::string_view data, RenameFunction rename)
{
    if (!rename) rename = &::rename;
    namespace fs = std::filesystem;

    // Saving over a link replaces the file it points to, not the link.
    std::string path = requested;
    std::error_code ec;
    if (fs::is_symlink(requested, ec)) {
        const fs::path target = fs::weakly_canonical(requested, ec);
        if (!ec) path = target.string();
    }

    struct stat old {};
    const bool replacing = ::stat(path.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) return saveFailure(path, EISDIR);

    // The temporary file lives in the same folder so that the rename stays
    // on one file system and is atomic.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return saveFailure(temp, errno);
    }
    if (fd < 0) return saveFailure(temp, EEXIST);

    int err = 0;
    if (!writeAll(fd, data)) err = errno;
    // Keep the permissions of the file being replaced.
    if (!err && replacing && ::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && rename(temp.c_str(), path.c_str()) != 0) err = errno ? errno : EIO;
    if (err) {
        ::unlink(temp.c_str());
        return saveFailure(path, err);
    }

    // Make the new directory entry durable too; a failure here does not undo
    // the save, which has already happened.
    const std::string dir = fs::path(path).parent_path().empty() ? "." : fs::path(path).parent_path().string();
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return Result::success();
}

} // namespace zar40::preset
