#include "archive/archCreateFiles.h"

#include <cstdio>

#include "archive/archCleanUp.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "db/dbgRelease.h"
#include "db/records.h"
#include "support/msg.h"

namespace pelo {

namespace {

// A failure caused by an interrupted system call is reported as the signal
// it was; any other prints the file's message.  Neither returns.
[[noreturn]] void refuseWorkFile(int message, const char* path) {
    sigCheck();
    msgPrint(message, path);
    cleanUpAndExit();
}

void openWorkFile(const WorkFileEntry& entry) {
    WorkFile& file = archCtx.*entry.file;
    switch (file.open(entry.mode)) {
    case WorkFile::Opened::yes:
        return;
    case WorkFile::Opened::notCreated:
        refuseWorkFile(entry.notCreated, file.path().c_str());
    case WorkFile::Opened::notStreamed:
        refuseWorkFile(entry.notOpened, file.path().c_str());
    }
}

// One line of the information file, flushed at once so that what was
// written stays written whatever fails later.  False when the line did not
// reach the file: a full file system shows only in the flush, since the
// formatting just fills the stream's buffer.
template <class... Args>
bool infoLine(FILE* info, const char* format, Args... args) {
    const bool formatted = std::fprintf(info, format, args...) >= 0;
    return std::fflush(info) == 0 && formatted;
}

bool infoLabel(FILE* info, int label, const char* value) {
    return infoLine(info, "%s%s\n", msgFormat(label), value);
}

bool writeDestination(FILE* info) {
    if (isDeviceArchive())
        return infoLabel(info, 1446, archCtx.deviceName.c_str());
    return infoLabel(info, 1447, archCtx.fileSystemName.c_str());
}

// The type line and the release names are not checked here: a failure
// there leaves the stream's error indicator set for the final check.  A level archive names no release, the
// level implies it.
bool writeArchiveType(FILE* info) {
    const ArchiveContext& c = archCtx;
    if (!c.levelName.empty()) {
        infoLine(info, "%s\n", msgFormat(1449));
        return infoLabel(info, 1451, c.levelName.c_str());
    }
    infoLine(info, "%s\n", msgFormat(1448));
    if (!infoLine(info, "%s", msgFormat(1450)))
        return false;
    for (int releaseId : c.releaseIdList) {
        ReleaseRecord release{};
        dbgReleaseGetById(release, releaseId);
        infoLine(info, "%s ", release.NAME);
    }
    return infoLine(info, "%s", "\n");
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace

std::string formatArchiveDate(const std::tm& time) {
    char text[80];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", time.tm_year,
                  time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
    return text;
}

void createFiles() {
    archCtx.createdFiles = 1;
    for (const WorkFileEntry& entry : workFileTable())
        if (workFileNeeded(entry.createdWhen))
            openWorkFile(entry);
}

int writeToArchiveInfoFile() {
    const ArchiveContext& c = archCtx;
    FILE* info = c.archInfo.fp();
    if (info == nullptr)
        return 1;
    const std::string date = formatArchiveDate(localNow());
    const bool written =
        infoLine(info, "%s %s\n", msgFormat(1439), c.familyName.c_str()) &&
        infoLine(info, "%s\n\n", msgFormat(1440)) && infoLabel(info, 1441, date.c_str()) &&
        infoLabel(info, 1442, serverLevel) && infoLabel(info, 1443, dialectSettings(c.database).name) &&
        infoLabel(info, 1444, c.vctype.c_str()) &&
        infoLine(info, "%s%s", msgFormat(1445), msgFormat(c.deleteAfterArchive ? 1456 : 1457)) &&
        writeDestination(info) && writeArchiveType(info);
    if (!written)
        return 1;
    // A flush that found nothing left to write succeeds even after a lost
    // line, so the stream's error indicator is asked too.
    return std::fflush(info) == 0 && !std::ferror(info) ? 0 : 1;
}

}  // namespace pelo
