// One work file of an archive run: its path, the descriptor it is opened
// as and the buffered stream made on that descriptor.  The archive context
// holds one per work file; the table of context.h says where each lives,
// with which mode, and when a run makes and removes it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <utility>

namespace pelo {

/// Owns the descriptor and the stream: the stream is always made on the
/// descriptor, so closing the stream closes both, and the destructor
/// closes what is still open (without removing the file).  Movable, not
/// copyable, so a file is never closed twice.
class WorkFile {
public:
    WorkFile() = default;
    ~WorkFile();
    WorkFile(WorkFile&& other) noexcept;
    WorkFile& operator=(WorkFile&& other) noexcept;
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;

    /// The path; empty when the run has none for this file.
    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }

    /// The stream the phases write, or null when the file is not open.
    FILE* fp() const { return fp_; }

    enum class Opened { yes, notCreated, notStreamed };

    /// Opens the path write-only, append and create (never truncating) with
    /// the mode, then a stream in append mode on the descriptor.
    /// notCreated when open failed (openFile has logged it); notStreamed
    /// when no stream could be made, in which case the descriptor stays
    /// open so that close or remove still ends it.  A file already open is
    /// closed first.
    Opened open(mode_t mode);

    struct Closed {
        bool flushed = true;  // everything written reached the file
        bool closed = true;   // the descriptor was released without error
        bool ok() const { return flushed && closed; }
    };

    /// Flushes and closes.  A file that is not open, or already closed,
    /// closes with nothing to report: a second close does nothing.
    Closed close();

    /// Closes (ignoring the result) and unlinks the path; a missing file
    /// or an empty path is not an error.
    void remove();

private:
    std::string path_;
    int fd_ = -1;
    FILE* fp_ = nullptr;
};

}  // namespace pelo
