#include "support/digest.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace pelo {

namespace {

// Large enough that a history costs a few reads, small enough to stay in
// the processor's cache while it is hashed.
constexpr std::size_t readBlock = 256 * 1024;

struct FreeContext {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, FreeContext>;

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            close(fd);
    }
};

std::string hex(const unsigned char* bytes, unsigned int size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (unsigned int i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

/// Opens path, relative to the directory open as dirFd, for reading as
/// digestFile reaches it under the flags; -1 with errno set on failure.
int openForDigest(int dirFd, const std::string& path, unsigned flags) {
    if ((flags & digestBelowOnly) == 0)
        return openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    const int fd = static_cast<int>(syscall(SYS_openat2, dirFd, path.c_str(), &how, sizeof how));
    // A kernel without openat2 still refuses a link as the last component;
    // the archive's own directories are the run's making.
    if (fd < 0 && errno == ENOSYS)
        return openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    return fd;
}

}  // namespace

int openToDigest(int dirFd, const std::string& path, unsigned flags) {
    const int fd = openForDigest(dirFd, path, flags);
    if (fd < 0)
        return -1;
    struct stat st {};
    int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    if ((flags & digestFromMedium) != 0)
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    return fd;
}

int digestOpened(int fd, FileDigest& digest) {
    const DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return ENOMEM;
    thread_local std::vector<unsigned char> block(readBlock);
    digest.size = 0;
    for (;;) {
        const ssize_t got = read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        EVP_DigestUpdate(context.get(), block.data(), std::size_t(got));
        digest.size += got;
    }
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), sum, &size);
    digest.sha256 = hex(sum, size);
    return 0;
}

int digestFile(int dirFd, const std::string& path, unsigned flags, FileDigest& digest) {
    const Descriptor file{openToDigest(dirFd, path, flags)};
    return file.fd < 0 ? errno : digestOpened(file.fd, digest);
}

std::string sha256Hex(std::string_view text) {
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), sum, &size, EVP_sha256(), nullptr);
    return hex(sum, size);
}

}  // namespace pelo
