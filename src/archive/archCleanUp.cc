#include "archive/archCleanUp.h"

#include <sys/sem.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/context.h"
#include "db/session.h"
#include "support/msg.h"
#include "support/runner.h"

namespace pelo {

namespace {

void removeWorkFile(int& fd, FILE*& fp, const std::string& path) {
    closeWorkFile(fd, fp);
    if (!path.empty())
        unlink(path.c_str());
}

// What a file-system archive copied so far; each command is reported by
// its own message, and a failed removal does not stop the others.
void removeArchiveCopies() {
    struct Removal {
        const char* below;
        int message;
    };
    static constexpr Removal removals[] = {
        {"/maps", 1359}, {"/*.ld", 1360}, {"/configField", 1361}, {"/vc", 1362}};
    const char* fsName = archCtx.fileSystemName.c_str();
    for (const Removal& r : removals) {
        // The glob of "*.ld" must stay outside the quotes to be expanded.
        std::string command = "rm -fr " + shellQuote(archCtx.fileSystemName) + r.below;
        stdOutBuf[0] = '\0';
        stdErrBuf[0] = '\0';
        send_command(command.c_str(), stdOutBuf, stdOutBufSize, stdErrBuf, stdErrBufSize);
        if (stdOutBuf[0] != '\0')
            msgPrint(r.message, "peloarchive", fsName, stdOutBuf);
        if (stdErrBuf[0] != '\0')
            msgPrint(r.message, "peloarchive", fsName, stdErrBuf);
    }
}

// Closes and removes the work files; with runCommands, also what a
// file-system archive copied into its directory.
void removeWorkFiles(bool runCommands) {
    ArchiveContext& c = archCtx;
    if (c.createdFiles != 1)
        return;
    removeWorkFile(c.dbPop_Fd, c.dbPop_Fp, c.dbPopulatePathName);
    removeWorkFile(c.archInfo_Fd, c.archInfo_Fp, c.archiveInfoPathName);
    removeWorkFile(c.archUser_Fd, c.archUser_Fp, c.archiveUserPathName);
    if (c.database == "informix" || c.database == "sybase" || c.database == "dizoz") {
        removeWorkFile(c.dbLoadNotes_Fd, c.dbLoadNotes_Fp, c.notesDataPathName);
        removeWorkFile(c.dbLoadVers_Fd, c.dbLoadVers_Fp, c.versionsDataPathName);
    }
    if (c.database == "oracle")
        removeWorkFile(c.archExport_Fd, c.archExport_Fp, c.archiveExportPathName);
    if (vcIsPVCS())
        removeWorkFile(c.vcCleanPVCS_Fd, c.vcCleanPVCS_Fp, c.vcCleanPVCSPathName);
    if (isDeviceArchive()) {
        removeWorkFile(c.cpioFileList_Fd, c.cpioFileList_Fp, c.cpioFileListPathName);
        removeWorkFile(c.archVCclean_Fd, c.archVCclean_Fp, c.vcCleanupPathName);
    } else if (runCommands) {
        removeArchiveCopies();
    }
}

void releaseStrings() {
    for (std::string* s : {&archCtx.familyName, &archCtx.familyHomeDir, &archCtx.database,
                           &archCtx.vctype})
        std::string().swap(*s);
}

void releaseSemaphore() {
    msgPrint(1540);
    if (archCtx.semaphoreSet == 1 && archCtx.semval >= 0)
        semctl(archCtx.semval, 0, IPC_RMID);
    archCtx.semaphoreSet = 0;
}

void disconnect() {
    if (archCtx.connectedToDb != 1)
        return;
    msgPrint(1344);
    // Cleared first: a failing dbExit comes back here through the fatal
    // database path, which must not try to disconnect again.
    archCtx.connectedToDb = 0;
    dbExit();
}

void warnInterruptedRemoval() {
    if (archCtx.deleteAfterArchive == 1 && archCtx.deleteStarted == 1)
        msgPrint(1376);
}

// The steps of the clean-up run once each, in order.  A step that fails
// into the fatal database path re-enters the clean-up, which then goes on
// with the step after it instead of starting over.
[[noreturn]] void runCleanUp(bool outOfMemory) {
    static int nextStep = 0;
    while (nextStep < 6) {
        switch (nextStep++) {
        case 0: msgPrint(1538); break;
        case 1: removeWorkFiles(!outOfMemory); break;
        case 2: releaseStrings(); break;
        case 3: releaseSemaphore(); break;
        case 4: disconnect(); break;
        case 5: if (!outOfMemory) warnInterruptedRemoval(); break;
        }
    }
    msgClose();
    std::exit(1);
}

}  // namespace

void freeArchiveLists() {
    archCtx.releaseIdList.listFreeItems();
    archCtx.levelIdList.listFreeItems();
    archCtx.trackIdList.listFreeItems();
    archCtx.fileIdList.listFreeItems();
    archCtx.pathIdList.listFreeItems();
    archCtx.sourceIdList.listFreeItems();
    archCtx.defectFeatureIdList.listFreeItems();
}

[[noreturn]] void cleanUpAndExit() { runCleanUp(false); }

[[noreturn]] void cleanUpAndExitNoMem() { runCleanUp(true); }

}  // namespace pelo
