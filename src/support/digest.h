// The SHA-256 of a file's content, read in one streamed pass: what the
// archive's manifest records of each file and what its read-back compares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelo {

/// A file's content as the manifest knows it: its size in bytes and its
/// SHA-256 as 64 lower-case hex digits.
struct FileDigest {
    std::int64_t size = 0;
    std::string sha256;

    bool operator==(const FileDigest&) const = default;
};

/// How digestFile reaches and reads a file.
enum DigestFlags : unsigned {
    /// The path stays below the directory and follows no symbolic link
    /// (openat2's RESOLVE_BENEATH and RESOLVE_NO_SYMLINKS): what is read
    /// is the archive's own file, never one a link leads to.
    digestBelowOnly = 1,
    /// The file's pages are dropped from memory before it is read, so that
    /// what was synced is read from its medium, not from the cache that
    /// wrote it.
    digestFromMedium = 2,
};

/// Reads the file at path, relative to the directory open as dirFd, from
/// start to end in large blocks and fills digest.  0, or the errno of the
/// open or read that failed (digest is then unspecified).  A file that is
/// not a regular file is refused with EINVAL.
int digestFile(int dirFd, const std::string& path, unsigned flags, FileDigest& digest);

/// The first half of digestFile: opens the file as digestFile reaches it,
/// refuses what is not a regular file (EINVAL), and asks the kernel for
/// all of its pages at once, without waiting for them.  Many files opened
/// so one after another are read from the medium together, where reading
/// them in turn would wait for each.  The descriptor, which the caller
/// closes, or -1 with errno set.
int openToDigest(int dirFd, const std::string& path, unsigned flags);

/// The second half: reads the file open as fd to its end and fills
/// digest.  0, or the errno of the read that failed.
int digestOpened(int fd, FileDigest& digest);

/// The SHA-256 of the text, as digestFile gives it.
std::string sha256Hex(std::string_view text);

}  // namespace pelo
