#include "support/fileCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "support/util.h"

namespace pelo {

namespace {

constexpr std::size_t blockSize = 1 << 17;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string complaint(const char* call, const std::string& path, int error) {
    return std::string(call) + " " + path + ": " + std::strerror(error) + "\n";
}

std::string notCopied(const std::string& path, mode_t mode) {
    return path + " is " + kindOf(mode) + ", not a regular file\n";
}

// Writes all of the bytes, going on after a short write.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The bytes of in go to out; "" or the complaint.  The kernel copies them
// when both file systems allow it; a refusal before the first byte falls
// back to reads and writes.
std::string copyBytes(int in, int out, const std::string& source, const std::string& target) {
    bool kernel = true;
    for (;;) {
        if (kernel) {
            const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, blockSize * 64, 0);
            if (copied > 0)
                continue;
            if (copied == 0)
                return {};
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM &&
                errno != EBADF)
                return complaint("copy_file_range", target, errno);
            kernel = false;  // the offsets stand where the kernel left them
        }
        static thread_local char buffer[blockSize];
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return complaint("read", source, errno);
        }
        if (!writeAll(out, buffer, static_cast<std::size_t>(got)))
            return complaint("write", target, errno);
    }
}

// A new target is made with the mode, less the umask; one that is there
// is opened as it stands and emptied.  Neither waits: a FIFO or a device
// there is refused by the kernel or by its type.
int openTarget(const std::string& target, mode_t mode, bool& created) {
    constexpr int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = ::open(target.c_str(), flags | O_CREAT | O_EXCL, mode);
    created = fd >= 0;
    if (fd < 0 && errno == EEXIST)
        fd = ::open(target.c_str(), flags);
    struct stat to {};
    if (fd >= 0 && (::fstat(fd, &to) != 0 || !S_ISREG(to.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    if (fd >= 0 && !created && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

std::string copyRegularFile(const std::string& source, const std::string& target) {
    // Opened without waiting, so that a FIFO is found by its type instead
    // of holding the run until a writer comes.
    Fd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (in.get() < 0) {
        const int error = errno;
        struct stat there {};
        if (::stat(source.c_str(), &there) == 0 && !S_ISREG(there.st_mode))
            return notCopied(source, there.st_mode);  // a socket cannot be opened
        return complaint("open", source, error);
    }
    struct stat from {};
    if (::fstat(in.get(), &from) != 0)
        return complaint("fstat", source, errno);
    if (!S_ISREG(from.st_mode))
        return notCopied(source, from.st_mode);
    const int flags = ::fcntl(in.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK);

    bool created = false;
    Fd out(openTarget(target, from.st_mode & 0777, created));
    if (out.get() < 0)
        return complaint("open", target, errno);
    std::string failure = copyBytes(in.get(), out.get(), source, target);
    if (::close(out.release()) != 0 && failure.empty())
        failure = complaint("close", target, errno);
    if (!failure.empty() && created)
        ::unlink(target.c_str());
    return failure;
}

std::string removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? std::string() : complaint("unlink", path, errno);
}

std::string removeEmptyDirectory(const std::string& path) {
    return ::rmdir(path.c_str()) == 0 ? std::string() : complaint("rmdir", path, errno);
}

std::string removeTree(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? std::string() : complaint("lstat", path, errno);
    if (!S_ISDIR(status.st_mode))
        return removeFile(path);
    {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
        if (!dir)
            return complaint("opendir", path, errno);
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (std::string failure = removeTree(path + "/" + entry->d_name); !failure.empty())
                return failure;
        }
    }
    return removeEmptyDirectory(path);
}

}  // namespace pelo
