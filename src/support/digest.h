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

/// Opens path, relative to the directory open as dirFd, for reading as
/// digestFile reaches it under the flags.  The descriptor, which the
/// caller closes, or -1 with errno set.
int openForDigest(int dirFd, const std::string& path, unsigned flags);

/// The SHA-256 of the text, as digestFile gives it.
std::string sha256Hex(std::string_view text);

}  // namespace pelo
