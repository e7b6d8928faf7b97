#include "archive/archCleanUp.h"

#include <sys/sem.h>

#include <cstdlib>
#include <string>

#include "archive/archManifest.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "archive/runSummary.h"
#include "db/session.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"

namespace pelo {

namespace {

// What a file-system archive copied so far; each command is reported by
// its own message, and a failed removal does not stop the others.
void removeArchiveCopies() {
    struct Removal {
        ShellText below;
        int message;
    };
    static constexpr Removal removals[] = {
        {"/maps", 1359}, {"/*.ld", 1360}, {"/configField", 1361}, {"/vc", 1362}};
    const char* fsName = archCtx.fileSystemName.c_str();
    for (const Removal& r : removals) {
        // The glob of "*.ld" stays outside the quotes, so the shell expands it.
        const CommandLine command = CommandLine("rm -fr").arg(archCtx.fileSystemName).text(r.below);
        const Verdict removed = deletionVerdict(send_command(command));
        for (const std::string& complaint : removed.complaints)
            msgPrint(r.message, programName, fsName, complaint.c_str());
    }
}

// Closes and removes the work files; with runCommands, also what a
// file-system archive copied into its directory.  Once removal has begun
// the archive is the only copy of what left the family: every file is
// closed, so what was written reaches it, and nothing is removed.
void removeWorkFiles(bool runCommands) {
    if (archCtx.createdFiles != 1)
        return;
    const bool keep = archCtx.keepArchive == 1;
    for (const WorkFileEntry& entry : workFileTable()) {
        WorkFile& file = archCtx.*entry.file;
        if (keep)
            file.close();
        else if (workFileNeeded(entry.removedWhen))
            file.remove();
    }
    if (!isDeviceArchive() && runCommands && !keep)
        removeArchiveCopies();
}

void (*undoStep)() = nullptr;

void releaseSemaphore() {
    msgPrint(1540);
    releaseArchiveSemaphore();
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
        warnRemovalFailed();
}

// The steps of the clean-up run once each, in order.  A step that fails
// into the fatal database path re-enters the clean-up, which then goes on
// with the step after it instead of starting over.
[[noreturn]] void runCleanUp(bool outOfMemory) {
    static int nextStep = 0;
    while (nextStep < 6) {
        switch (nextStep++) {
        case 0:
            // Listings started ahead read the archive's copies, which
            // the next step may remove.
            endPendingCommands();
            msgPrint(1538);
            break;
        case 1:
            removeWorkFiles(!outOfMemory);
            removeReadBackCopy();
            if (undoStep != nullptr)
                undoStep();
            break;
        case 2: releaseStrings(); break;
        case 3: releaseSemaphore(); break;
        case 4: disconnect(); break;
        case 5: if (!outOfMemory) warnInterruptedRemoval(); break;
        }
    }
    const int status = endRunWith(failureStatus());
    msgClose();
    std::exit(status);
}

}  // namespace

void setCleanUpUndo(void (*undo)()) { undoStep = undo; }

void warnRemovalFailed() {
    msgPrint(1376);
    const std::string& archive = isDeviceArchive() ? archCtx.deviceName : archCtx.fileSystemName;
    msgPrint(1700, archive.c_str());
}

void freeArchiveLists() {
    archCtx.releaseIdList.listFreeItems();
    archCtx.levelIdList.listFreeItems();
    archCtx.trackIdList.listFreeItems();
    archCtx.fileIdList.listFreeItems();
    archCtx.pathIdList.listFreeItems();
    archCtx.sourceIdList.listFreeItems();
    archCtx.defectFeatureIdList.listFreeItems();
}

void releaseStrings() {
    for (std::string* s : {&archCtx.familyName, &archCtx.familyHomeDir, &archCtx.vctype})
        std::string().swap(*s);
}

void releaseArchiveSemaphore() {
    if (archCtx.semaphoreSet == 1 && archCtx.semval >= 0)
        semctl(archCtx.semval, 0, IPC_RMID);
    archCtx.semaphoreSet = 0;
}

[[noreturn]] void cleanUpAndExit() { runCleanUp(false); }

[[noreturn]] void cleanUpAndExitNoMem() { runCleanUp(true); }

}  // namespace pelo
