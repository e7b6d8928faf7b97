// The device archive's transfer: one cpio run, on the user's terminal,
// writes every file the cpio list names to the device; the user then says
// whether the run goes on.  A cpio run that fails ends the run before the
// question: removal must never follow an archive that is not on its medium.
#include <initializer_list>

#include "archive/context.h"
#include "archive/getArchOpts.h"
#include "archive/phases.h"
#include "support/commandLine.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"

namespace pelo {

namespace {

// The work files are on the medium now; only the PVCS clean-up list, which
// removal writes, can still be needed, and the row copy while a removal
// follows, since every row the removal deletes is looked up in it.
void removeTransferredFiles(bool removalFollows) {
    using C = ArchiveContext;
    for (WorkFile C::*file : {&C::cpioFileList, &C::dbPop, &C::archInfo, &C::archUser, &C::archVCclean, &C::manifest})
        (archCtx.*file).remove();
    if (archCtx.database == Dialect::oracle)
        archCtx.archExport.remove();
    else if (archCtx.database != Dialect::none) {
        archCtx.dbLoadNotes.remove();
        archCtx.dbLoadVers.remove();
    }
    if (!removalFollows)
        archCtx.rowCopy.remove();
}

}  // namespace

int runCPIO() {
    ArchiveContext& c = archCtx;
    const Verdict entered = listingVerdict(send_command(CommandLine("cd").arg(c.familyHomeDir)));
    if (entered.failed()) {
        msgPrint(1430, c.familyHomeDir.c_str(), entered.complaints.front().c_str());
        return 1;
    }
    msgPrint(1490, c.deviceName.c_str());
    // The list's relative names resolve in the family home, where the
    // command line starts.
    stdErrBuf[0] = '\0';
    const Ending transferred = send_command_no_pipes(CommandLine("cd")
                                                         .arg(c.familyHomeDir)
                                                         .text(" && cat")
                                                         .arg(c.cpioFileList.path())
                                                         .text(" | cpio -o >")
                                                         .quoted(c.deviceName),
                                                     stdErrBuf);
    if (const Verdict written = cpioVerdict(transferred, stdErrBuf); written.failed()) {
        msgPrint(1704, c.deviceName.c_str(), written.complaints.front().c_str());
        return 1;
    }
    int answer = 2;
    while (answer == 2)
        answer = getUserInput();
    removeTransferredFiles(answer == 0 && c.deleteAfterArchive == 1);
    if (answer == 1)
        c.vcCleanPVCS.remove();
    c.createdFiles = 0;
    return answer;
}

}  // namespace pelo
