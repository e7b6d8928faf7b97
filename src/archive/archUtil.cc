#include "archive/archUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "archive/peloarchive.h"
#include "support/msg.h"
#include "support/util.h"

namespace pelo {

std::string cpioListLine(WorkFile ArchiveContext::*file) {
    const ArchiveContext& c = archCtx;
    const std::string& path = (c.*file).path();
    if (c.workDirIsFamilyHome)
        return std::string("./") + workFileName(file) + "\n";
    // Only a path below the home can be cut to one relative to it: a home
    // of "/home/fam" must not turn "/home/family/x" into "ily/x".
    if (!c.familyHomeDir.empty() && path.starts_with(c.familyHomeDir + "/"))
        return "." + path.substr(c.familyHomeDir.size()) + "\n";
    return path + "\n";
}

int addCpioListEntry(WorkFile ArchiveContext::*file) {
    FILE* list = archCtx.cpioFileList.fp();
    if (list == nullptr)
        return 1;
    return std::fputs(cpioListLine(file).c_str(), list) < 0 ? 1 : 0;
}

namespace {

int writeTo(WorkFile& file, const std::string& text) {
    FILE* stream = file.fp();
    if (stream != nullptr && std::fputs(text.c_str(), stream) >= 0)
        return 0;
    msgPrint(1458, file.path().c_str());
    return 1;
}

}  // namespace

int writeInfoLine(const std::string& text) { return writeTo(archCtx.archInfo, text); }

int writeCpioLine(const std::string& text) {
    // cpio takes each line of its list for a name: a name with a new-line
    // would reach it as two names, neither of them the file, and the medium
    // would lack the file with only cpio's complaint to tell.
    if (const std::size_t end = text.find('\n'); end != std::string::npos && end + 1 < text.size()) {
        msgPrint(1548, text.substr(0, text.size() - (text.ends_with('\n') ? 1 : 0)).c_str());
        return 1;
    }
    return writeTo(archCtx.cpioFileList, text);
}

int writeInfoHeading(int message) { return writeInfoLine(std::string("\n") + msgFormat(message) + "\n"); }

int closeReported(WorkFile& file) {
    const WorkFile::Closed closed = file.close();
    if (!closed.flushed)
        msgPrint(1435, programName, file.path().c_str());
    else if (!closed.closed)
        msgPrint(1436, programName, file.path().c_str());
    return closed.flushed && closed.closed ? 0 : 1;
}

void workDot() {
    msgProgress(1331);
    sigCheck();
}

namespace {

/// Forces what was written to the archive's file system, or to a device
/// that has a cache; 0, or -1 with errno set.  A directory or a regular
/// file is synced with its whole file system, so the directory entries
/// that name the copies reach the medium with the copies (a file synced
/// alone could still be lost with the entry that names it).  A block
/// device keeps its writes in a cache of its own; a raw device takes them
/// as cpio makes them, so there is nothing to force.
int forceToMedium(const std::string& target) {
    struct stat st {};
    if (stat(target.c_str(), &st) != 0)
        return -1;
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        return 0;
    const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    const int synced = S_ISBLK(st.st_mode) ? fsync(fd) : syncfs(fd);
    const int saved = errno;
    close(fd);
    errno = saved;
    return synced;
}

}  // namespace

int syncArchive() {
    ArchiveContext& c = archCtx;
    const std::string& target = isDeviceArchive() ? c.deviceName : c.fileSystemName;
    for (const WorkFileEntry& entry : workFileTable()) {
        FILE* stream = (c.*entry.file).fp();
        if (stream != nullptr && std::fflush(stream) != 0) {
            msgPrint(1710, (c.*entry.file).path().c_str(), systemErrorText());
            return 1;
        }
    }
    if (forceToMedium(target) != 0) {
        msgPrint(1710, target.c_str(), systemErrorText());
        return 1;
    }
    return 0;
}

int refuseUnset(int message) {
    msgPrint(message, programName);
    return 1;
}

}  // namespace pelo
