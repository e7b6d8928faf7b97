// The version-control histories of the archived files: sized in a
// check-only run, copied below the archive directory and trimmed to the
// archived deltas in a file-system archive, named in the cpio list with a
// clean-up list of the deltas to drop in a device archive.  Files that
// share a source share one history, which is handled once.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/archFiles.h"
#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/getArchOpts.h"
#include "archive/historiesAhead.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "db/dbgFile.h"
#include "support/fileCopy.h"
#include "support/msg.h"
#include "support/util.h"
#include "vc/location.h"

namespace pelo {

namespace {

/// "/vc/" and the history's place, the part of its path below the family
/// home or the archive directory.
std::string relativeHistory(long sourceId, int fileType) { return std::string("/vc/") + vcLocation(sourceId, fileType); }

/// The entries of a binary directory by name, so every run lists them
/// alike; nothing (after message 0010-939) when it cannot be read.
std::optional<std::vector<std::string>> directoryEntries(const std::string& dir) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(dir.c_str()), closedir);
    if (!stream) {
        msgPrint(1366, "opendir()", dir.c_str());
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(stream.get()))
        if (std::string_view name = entry->d_name; name != "." && name != "..")
            names.emplace_back(name);
    std::ranges::sort(names);
    return names;
}

/// 0 when the history (a file, or with wantDirectory a binary directory)
/// may be used; else 1 after the message of the run's kind, so that it is
/// never sized, copied or listed.
int refuseHistory(const std::string& path, bool wantDirectory) {
    const std::string why = familyPathRefusal(archCtx.familyHomeDir, path, wantDirectory);
    if (why.empty())
        return 0;
    if (archiving() && !isDeviceArchive()) {
        msgPrint(1386, archCtx.fileSystemName.c_str(), why.c_str());
        return 1;
    }
    return refuseFamilyFile(path, why);
}

/// The entries of a binary directory that passes refuseHistory, each of
/// which passes it too; nothing after the message otherwise.
std::optional<std::vector<std::string>> binaryEntries(const std::string& dir) {
    if (refuseHistory(dir, true) != 0)
        return std::nullopt;
    auto entries = directoryEntries(dir);
    if (entries)
        for (const std::string& name : *entries)
            if (refuseHistory(dir + "/" + name, false) != 0)
                return std::nullopt;
    return entries;
}

int makeHistoryDir(const std::string& dir) {
    if (makePath(dir.c_str(), 0755) == 0)
        return 0;
    msgPrint(1374, programName, dir.c_str());
    return 1;
}

int addSize(const std::string& path) {
    off_t size = 0;
    if (getFileSize(path.c_str(), size) != 0) {
        msgPrint(1387, path.c_str());
        return 1;
    }
    archCtx.fileSystemStore += size;
    return 0;
}

/// A copy, unless the target is already there.
int copyOnce(const std::string& source, const std::string& target) {
    if (fileIsThere(target.c_str()))
        return 0;
    const std::string complaint = copyRegularFile(source, target);
    if (complaint.empty())
        return 0;
    msgPrint(1386, archCtx.fileSystemName.c_str(), complaint.c_str());
    return 1;
}

int getTextOrPVCSBinaryFiles(long sourceId, int fileType) {
    const std::string relative = relativeHistory(sourceId, fileType);
    const std::string family = archCtx.familyHomeDir + relative;
    if (refuseHistory(family, false) != 0)
        return 1;
    if (!archiving())
        return addSize(family);
    const std::string target = archCtx.fileSystemName + relative;
    const std::string dir = dirPath(target).value_or(archCtx.fileSystemName);
    if (makeHistoryDir(dir) != 0)
        return 1;
    // The PVCS tools run as their own owner and must be able to write there.
    if (vcIsPVCS() && changeMode(dir.c_str(), 0777) != 0) {
        msgPrint(1477, programName, dir.c_str());
        return 1;
    }
    if (copyOnce(family, target) != 0)
        return 1;
    return writeInfoLine(family + "\n");
}

int getSCCSBinaryFiles(long sourceId, int fileType) {
    const std::string relative = relativeHistory(sourceId, fileType);
    const std::string source = archCtx.familyHomeDir + relative;
    const std::string target = archCtx.fileSystemName + relative;
    const auto entries = binaryEntries(source);
    if (!entries || (archiving() && makeHistoryDir(target) != 0))
        return 1;
    for (const std::string& name : *entries) {
        const int result = archiving() ? copyOnce(source + "/" + name, target + "/" + name) : addSize(source + "/" + name);
        if (result != 0)
            return 1;
    }
    return archiving() ? writeInfoLine(source + "/s.binary\n") : 0;
}

int writeTextOrPVCSBinaryFilesToCPIO(long sourceId, int fileType) {
    const std::string relative = relativeHistory(sourceId, fileType);
    if (refuseHistory(archCtx.familyHomeDir + relative, false) != 0 || writeCpioLine("." + relative + "\n") != 0)
        return 1;
    return writeInfoLine(archCtx.familyHomeDir + relative + "\n");
}

int writeSCCSBinaryFilesToCPIO(long sourceId, int fileType) {
    const std::string relative = relativeHistory(sourceId, fileType);
    const std::string source = archCtx.familyHomeDir + relative;
    const auto entries = binaryEntries(source);
    if (!entries)
        return 1;
    for (const std::string& name : *entries)
        if (writeCpioLine("." + relative + "/" + name + "\n") != 0 || writeInfoLine(source + "/" + name + "\n") != 0)
            return 1;
    return 0;
}

/// A destroyed file's history: a single history file when one is there,
/// else a binary directory.  It is taken whole.  Whether the single file
/// is there is not asked through a link out of the family.
int destroyedHistory(long sourceId, bool toCpio) {
    const std::string singlePath = archCtx.familyHomeDir + relativeHistory(sourceId, vcText);
    if (refuseHistory(singlePath, false) != 0)
        return 1;
    const bool single = fileIsThere(singlePath.c_str()) != 0;
    if (toCpio)
        return single ? writeTextOrPVCSBinaryFilesToCPIO(sourceId, vcText)
                      : writeSCCSBinaryFilesToCPIO(sourceId, vcSCCSBinary);
    return single ? getTextOrPVCSBinaryFiles(sourceId, vcText) : getSCCSBinaryFiles(sourceId, vcSCCSBinary);
}

bool isSCCS() { return archCtx.vctype == "SCCS" || archCtx.vctype == "sccs"; }

/// The turns of the loop over the archived files, read before it starts:
/// the first file of each source not yet processed, in the list's order;
/// with noSourceless, none of source 0, which has no history.
std::vector<HistoryTurn> historyTurns(const IdList& processed, bool noSourceless) {
    std::vector<HistoryTurn> turns;
    std::unordered_set<int> seen;
    for (int fileId : archCtx.fileIdList) {
        FileRecord file{};
        dbgFileGetById(file, fileId);
        if ((noSourceless && file.SOURCEID == 0) || processed.listContains(file.SOURCEID) ||
            !seen.insert(file.SOURCEID).second)
            continue;
        turns.push_back({fileId, file.SOURCEID, fileType(file.TYPE)});
    }
    return turns;
}

// Check-only run or file-system archive.  A file of source 0 has no history.
int collectHistories(IdList& processed) {
    if (archiving() && archCtx.fileIdList.listSize() > 0) {
        const std::string vcDir = archCtx.fileSystemName + "/vc";
        if (makeDir(vcDir.c_str(), 0755) != 0) {
            msgPrint(1374, programName, vcDir.c_str());
            return 1;
        }
    }
    const std::vector<HistoryTurn> turns = historyTurns(processed, true);
    std::optional<HistoriesAhead> ahead;
    if (archiving() && !isSCCS())
        ahead.emplace(turns, archCtx.fileSystemName, true);
    for (std::size_t turn = 0; turn < turns.size(); ++turn) {
        FileRecord file{};
        dbgFileGetById(file, turns[turn].fileId);
        const int type = turns[turn].type;
        if (ahead)
            ahead->comeTo(turn);
        int result = vcIsBinaryDirectory(type) ? getSCCSBinaryFiles(file.SOURCEID, type)
                                               : getTextOrPVCSBinaryFiles(file.SOURCEID, type);
        if (result == 0 && archiving())
            result = isSCCS() ? parseSCCSvcFiles(file, type) : parsePVCSvcFiles(file, type, ahead ? &*ahead : nullptr);
        if (result != 0)
            return 1;
        workDot();
        processed.listAppendUnique(file.SOURCEID);
    }
    ahead.reset();
    for (int sourceId : archCtx.destroyedSourceIdList) {
        if (sourceId == 0)
            continue;
        if (destroyedHistory(sourceId, false) != 0)
            return 1;
        workDot();
    }
    return 0;
}

int startCleanupList() {
    WorkFile& list = archCtx.archVCclean;
    if (list.fp() == nullptr || std::fputs(msgFormat(1465), list.fp()) < 0) {
        msgPrint(1458, list.path().c_str());
        return 1;
    }
    if (std::fflush(list.fp()) != 0) {
        msgPrint(1435, programName, list.path().c_str());
        return 1;
    }
    return 0;
}

// Device archive: every history is listed whole, with the deltas to drop
// after a restore in the clean-up list, which goes onto the medium too.
int listHistories(IdList& processed) {
    const std::vector<HistoryTurn> turns = historyTurns(processed, false);
    std::optional<HistoriesAhead> ahead;
    if (!isSCCS())
        ahead.emplace(turns, archCtx.familyHomeDir, false);
    for (std::size_t turn = 0; turn < turns.size(); ++turn) {
        FileRecord file{};
        dbgFileGetById(file, turns[turn].fileId);
        const int type = turns[turn].type;
        if (ahead)
            ahead->comeTo(turn);
        const int listed = vcIsBinaryDirectory(type) ? writeSCCSBinaryFilesToCPIO(file.SOURCEID, type)
                                                     : writeTextOrPVCSBinaryFilesToCPIO(file.SOURCEID, type);
        if (listed != 0 ||
            (isSCCS() ? genSCCSvcCleanUPfile(file, type) : genPVCSvcCleanUPfile(file, type, ahead ? &*ahead : nullptr)) != 0)
            return 1;
        workDot();
        processed.listAppendUnique(file.SOURCEID);
    }
    ahead.reset();
    if (closeReported(archCtx.archVCclean) != 0)
        return 1;
    if (addCpioListEntry(&ArchiveContext::archVCclean) != 0) {
        msgPrint(1458, archCtx.cpioFileList.path().c_str());
        return 1;
    }
    for (int sourceId : archCtx.destroyedSourceIdList)
        if (destroyedHistory(sourceId, true) != 0)
            return 1;
    return 0;
}

}  // namespace

int getVCFiles() {
    msgPrint(1329);
    if (archiving() && writeInfoHeading(1454) != 0)
        return 1;
    const bool device = archiving() && isDeviceArchive();
    if (device && startCleanupList() != 0)
        return 1;
    IdList processed;
    if (device && listHistories(processed) != 0)
        return 1;
    const int result = device ? 0 : collectHistories(processed);
    msgPrint(1333);
    return result;
}

}  // namespace pelo
