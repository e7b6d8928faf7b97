#include "archive/workFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "support/util.h"

namespace pelo {

WorkFile::~WorkFile() { close(); }

WorkFile::WorkFile(WorkFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      fp_(std::exchange(other.fp_, nullptr)) {}

WorkFile& WorkFile::operator=(WorkFile&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        fp_ = std::exchange(other.fp_, nullptr);
    }
    return *this;
}

WorkFile::Opened WorkFile::open(mode_t mode) {
    close();
    // No O_TRUNC: the dialog made sure none of the work files exists.
    if (openFile(fd_, path_.c_str(), O_WRONLY | O_APPEND | O_CREAT, mode) != 0)
        return Opened::notCreated;
    fp_ = fdopen(fd_, "a");
    return fp_ != nullptr ? Opened::yes : Opened::notStreamed;
}

WorkFile::Closed WorkFile::close() {
    Closed result;
    if (fp_ != nullptr) {
        // Flushed apart from the close, so a full file system is told from
        // a failing close; fclose still tries what the flush left behind.
        result.flushed = std::fflush(fp_) == 0;
        result.closed = std::fclose(fp_) == 0;
    } else if (fd_ >= 0) {
        result.closed = ::close(fd_) == 0;
    }
    fp_ = nullptr;
    fd_ = -1;
    return result;
}

void WorkFile::remove() {
    close();
    if (!path_.empty())
        unlink(path_.c_str());
}

}  // namespace pelo
