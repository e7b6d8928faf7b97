#include "archive/peloarchive.h"

#include <sys/ipc.h>
#include <sys/sem.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include "archive/archCleanUp.h"
#include "archive/archCreateFiles.h"
#include "archive/archManifest.h"
#include "archive/archVerify.h"
#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/getArchOpts.h"
#include "archive/phases.h"
#include "archive/restore.h"
#include "archive/runSummary.h"
#include "db/session.h"
#include "support/msg.h"
#include "support/passwd.h"
#include "support/util.h"

// Termination signals.  The handler only records the signal: the clean-up
// prints, runs commands, talks to the database and frees memory, none of
// which may happen inside a handler, and it must never run twice at once.
// The main flow looks at the record (sigCheck) between every two steps of
// the run and wherever it waits: the handlers are installed without
// SA_RESTART, so a read blocked on a terminal, a pipe or a FIFO returns
// with EINTR and its caller looks at once; phases look between their units
// of work.  Once the clean-up has begun, further termination signals are
// ignored so that it runs to its end.

namespace pelo {

namespace {

volatile std::sig_atomic_t pendingSignal = 0;

extern "C" void sigRecord(int signo) {
    if (pendingSignal == 0)
        pendingSignal = signo;
}

constexpr int terminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGURG};

void setDisposition(int signo, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int blocked : terminationSignals)
        sigaddset(&action.sa_mask, blocked);
    action.sa_flags = 0;  // no SA_RESTART: blocked reads must come back
    sigaction(signo, &action, nullptr);
}

// Failures after the handlers are in place: one caused by an interrupted
// system call is reported as the signal it was.
[[noreturn]] void endRun() {
    sigCheck();
    cleanUpAndExit();
}

// Calls a phase between two looks at the signals; more than 0 ends the run.
int callPhase(int (*phase)()) {
    sigCheck();
    int result = phase();
    if (result > 0)
        endRun();
    sigCheck();
    return result;
}

// ---- archive semaphore ----------------------------------------------------

constexpr int daemonProjectId = 108;   // held by the daemons in regular mode
constexpr int archiveProjectId = 109;  // held by a running archive

int refuseSemaphore(int message) {
    if (message == 1348)
        msgPrint(message, archCtx.familyName.c_str());
    else
        msgPrint(message);
    msgPrint(1393);
    return 1;
}

// Whether a set exists for the key: 1 yes, 0 no, -1 the probe failed.
int semaphoreExists(key_t key) {
    if (key == -1)
        return -1;
    if (semget(key, 1, IPC_EXCL) >= 0)
        return 1;
    return errno == ENOENT ? 0 : -1;
}

// Owner read and alter: the holder's mark and the look at it need both.
constexpr int archiveSemaphoreMode = 0600;

// One operation on the set, so that the kernel records this process as
// the last to operate on it: that is how a later run finds the holder.
void markArchiveSemaphoreHolder(int id) {
    sembuf operation{};
    operation.sem_num = 0;
    operation.sem_op = 1;  // never waits: nothing takes the value back down
    if (id >= 0)
        semop(id, &operation, 1);
}

// The process that marked the archive set for the key, while it still
// runs (a process of another user counts); 0 when there is no set, no
// mark (a set from a run that made none, or that cannot be read), or the
// process has gone.
pid_t liveArchiveSemaphoreHolder(key_t archiveKey) {
    const int id = archiveKey == -1 ? -1 : semget(archiveKey, 1, 0);
    const int holder = id < 0 ? -1 : semctl(id, 0, GETPID);
    if (holder <= 0)
        return 0;
    return kill(holder, 0) == 0 || errno == EPERM ? holder : 0;
}

// The force option takes a set that a dead run left behind; it does not
// take one from a run that is still going, which would then share the
// family with this one.  1 after that refusal.
int forceArchiveSemaphore(key_t archiveKey) {
    msgPrint(1394);
    if (const pid_t holder = liveArchiveSemaphoreHolder(archiveKey); holder != 0) {
        msgPrint(1706, std::to_string(holder).c_str());
        return 1;
    }
    archCtx.semval = archiveKey == -1 ? -1 : semget(archiveKey, 1, IPC_CREAT | archiveSemaphoreMode);
    markArchiveSemaphoreHolder(archCtx.semval);
    archCtx.semaphoreSet = 1;
    return 0;
}

// Takes the archive semaphore; 1 after a refusal has been printed.  The
// set is created exclusively, so two runs that probe at the same moment
// cannot both take it.
int takeArchiveSemaphore(bool force) {
    const char* home = archCtx.familyHomeDir.c_str();
    key_t archiveKey = ftok(home, archiveProjectId);
    if (force)
        return forceArchiveSemaphore(archiveKey);
    archCtx.semaphoreSet = 0;
    int daemons = semaphoreExists(ftok(home, daemonProjectId));
    if (daemons != 0)
        return refuseSemaphore(daemons == 1 ? 1348 : 1390);
    int archive = semaphoreExists(archiveKey);
    if (archive != 0)
        return refuseSemaphore(archive == 1 ? 1391 : 1390);
    int id = semget(archiveKey, 1, IPC_CREAT | IPC_EXCL | archiveSemaphoreMode);
    if (id < 0)
        return refuseSemaphore(errno == EEXIST ? 1391 : 1390);
    markArchiveSemaphoreHolder(id);
    archCtx.semval = id;
    archCtx.semaphoreSet = 1;
    return 0;
}

// ---- database environment -------------------------------------------------

void readEnvironment() {
    ArchiveContext& c = archCtx;
    c.pelo_home = env("PELO_HOME");
    c.orac_home = env("ORACLE_HOME");
    c.orac_dba_pass = env("ORACLE_PASS");
    c.infx_home = env("INFORMIXDIR");
    c.syb_home = env("SYBASE");
    c.syb_pass = env("SYBASE_PASS");
    c.xw_home = env("VQL_HOME");
}

struct CloseFile {
    void operator()(FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, CloseFile>;

int readDatabaseProduct() {
    std::string path = *archCtx.pelo_home + "/install/mkdb";
    FileHandle record(std::fopen(path.c_str(), "r"));
    // The record may be a slow file; an interrupted open or read is the
    // signal's doing, not the record's.
    sigCheck();
    if (!record) {
        msgPrint(1524, programName, path.c_str());
        return 1;
    }
    archCtx.database = dialectNamed(readInstallRecord(record.get()));
    sigCheck();
    return 0;
}

// Each database variable that is set must agree with the installation
// record, so two set variables always fail.
int checkDatabaseEnvironment() {
    const ArchiveContext& c = archCtx;
    if (!c.orac_home && !c.infx_home && !c.syb_home && !c.xw_home)
        return refuseUnset(1327);
    if (c.orac_home && c.database != Dialect::oracle)
        return refuseUnset(1327);
    if (c.orac_home && !c.orac_dba_pass)
        return refuseUnset(1522);
    if (c.infx_home && c.database != Dialect::informix)
        return refuseUnset(1327);
    if (c.syb_home && c.database != Dialect::sybase)
        return refuseUnset(1327);
    if (c.syb_home && !c.syb_pass)
        return refuseUnset(1536);
    if (c.xw_home && c.database != Dialect::dizoz)
        return refuseUnset(1327);
    return 0;
}

int readVCType() {
    std::optional<std::string> vctype = env("PELO_VCTYPE");
    if (!vctype || (*vctype != "sccs" && *vctype != "SCCS" && *vctype != "pvcs" && *vctype != "PVCS")) {
        msgPrint(1078);
        return 1;
    }
    archCtx.vctype = *vctype;
    return 0;
}

int setUpEnvironment() {
    readEnvironment();
    if (!archCtx.pelo_home)
        return refuseUnset(1523);
    if (readDatabaseProduct() || checkDatabaseEnvironment() || readVCType())
        return 1;
    return 0;
}

void connectToDatabase() {
    msgPrint(1328);
    if (dbInit() != 0) {
        msgPrint(109);
        endRun();
    }
    archCtx.connectedToDb = 1;
}

// ---- phases -----------------------------------------------------------------

// A refusal of the checks says the family is not ready; a failure on the
// way there (the database, a signal) is a failure like any other.
void checkPrerequisites() {
    startPhase(RunPhase::prerequisites);
    msgPrint(archiving() ? 1330 : 1377);
    sigCheck();
    if (checkArchivePrereqs() > 0) {
        sigCheck();
        setFailureStatus(ExitStatus::notReady);
        cleanUpAndExit();
    }
    sigCheck();
    msgPrint(1332);
}

void startArchiveFiles() {
    startPhase(RunPhase::workFiles);
    sigCheck();
    createFiles();
    if (writeToArchiveInfoFile() > 0) {
        sigCheck();
        msgPrint(1458, archCtx.archInfo.path().c_str());
        cleanUpAndExit();
    }
}

// The populate file and, for the products that need one, the export of
// Notes and Versions.
void writeDatabaseFiles() {
    const bool archive = archiving();
    startPhase(RunPhase::populate);
    msgPrint(archive ? 1334 : 1378);
    callPhase(generateDbPopulateFile);
    if (!archive)
        return;
    msgPrint(1335);
    if (archCtx.database != Dialect::informix) {
        startPhase(RunPhase::exportNotesVersions);
        msgPrint(1516);
        callPhase(export_Notes_Versions);
        msgPrint(1517);
    }
}

// Level maps, configuration files and histories, each announced by the
// line of its kind of run.
void collectArchiveFiles() {
    const bool archive = archiving();
    const bool device = isDeviceArchive();
    startPhase(RunPhase::levelMaps);
    msgPrint(!archive ? 1379 : device ? 1494 : 1336);
    callPhase(getLevelMaps);
    if (archive && !device)
        msgPrint(1337);
    startPhase(RunPhase::configFiles);
    msgPrint(!archive ? 1380 : device ? 1495 : 1338);
    callPhase(getFamilyConfigFiles);
    if (archive && !device)
        msgPrint(1339);
    startPhase(RunPhase::histories);
    msgPrint(!archive ? 1381 : device ? 1496 : 1340);
    callPhase(getVCFiles);
}

// The cpio list ends with the manifest, the information file and itself.
// Every step is tried; any failure ends the run after the last.
void finishCpioList() {
    WorkFile& list = archCtx.cpioFileList;
    const char* path = list.path().c_str();
    const char* name = workFileName(&ArchiveContext::cpioFileList);
    const bool open = list.fp() != nullptr;
    bool failed = false;
    if (addCpioListEntry(&ArchiveContext::manifest) != 0 || addCpioListEntry(&ArchiveContext::archInfo) != 0) {
        msgPrint(1458, path);
        failed = true;
    }
    if (!open || std::fprintf(list.fp(), "./%s\n", name) < 0) {
        msgPrint(1458, name);
        failed = true;
    }
    const WorkFile::Closed closed = list.close();
    if (!open || !closed.flushed) {
        msgPrint(1435, programName, path);
        failed = true;
    }
    if (!open || !closed.closed) {
        msgPrint(1436, programName, path);
        failed = true;
    }
    if (failed)
        endRun();
}

// No removal follows an archive that does not read back as the manifest
// says it was written, nor a device that cannot be read back unless the
// user takes it unread.  A refused archive is kept for the administrator
// to look at; the PVCS clean-up list, which only a removal uses, goes, and
// so does a device archive's row copy, which stayed behind the medium for
// the removal's look-ups alone.
void verifyBeforeRemoval() {
    sigCheck();
    const ReadBack found = readBackArchive();
    sigCheck();
    if (found == ReadBack::verified || found == ReadBack::unread)
        return;
    if (found == ReadBack::differs) {
        archCtx.archiveNotVerified = true;
        archCtx.keepArchive = 1;
    }
    archCtx.vcCleanPVCS.remove();
    if (isDeviceArchive())
        archCtx.rowCopy.remove();
    cleanUpAndExit();
}

// Removal of the archived objects and its commit.  The archive reaches
// its medium first and is read back from it: from the first commit on it
// is the only copy of what went.
int removeObjects() {
    startPhase(RunPhase::sync);
    if (syncArchive() != 0)
        endRun();
    startPhase(RunPhase::readBack);
    verifyBeforeRemoval();
    startPhase(RunPhase::removal);
    sigCheck();
    msgPrint(1343);
    archCtx.deleteStarted = 1;
    archCtx.keepArchive = 1;
    sigCheck();
    int result = removeArchivedObjects();
    // A device archive's row copy stayed in the working directory for the
    // removal alone: the medium holds it.
    if (isDeviceArchive())
        archCtx.rowCopy.remove();
    if (result > 0) {
        sigCheck();  // an interrupt keeps deleteStarted, so the clean-up warns
        warnRemovalFailed();
        archCtx.deleteStarted = 0;
        cleanUpAndExit();
    }
    sigCheck();
    msgPrint(1347);
    dbCommit();
    return result;
}

// Steps after the version-control files; returns the result of the last
// phase called, which decides whether the run is announced complete.
int finishArchive() {
    const bool archive = archiving();
    const bool device = isDeviceArchive();
    startPhase(RunPhase::storage);
    if (archive && device) {
        finishCpioList();
        callPhase(writeManifest);
    }
    int last = callPhase(calculateStorage);
    if (archive && !device)
        callPhase(writeManifest);
    measureArchiveBytes();
    if (archive && !device)
        msgPrint(1341);
    if (archive && device) {
        startPhase(RunPhase::cpio);
        last = callPhase(runCPIO);
    }
    if (archive && archCtx.deleteAfterArchive)
        last = removeObjects();
    if (archive && !archCtx.deleteAfterArchive && vcIsPVCS())
        archCtx.vcCleanPVCS.remove();
    return last;
}

// Returns the status the run exits with.
int endNormally(int last) {
    ArchiveContext& c = archCtx;
    startPhase(RunPhase::end);
    sigCheck();
    msgPrint(1344);
    if (!archiving()) {
        // Decimal megabytes, rounded to single precision as the estimate
        // has always been printed.
        const float megabytes = static_cast<float>(static_cast<double>(c.fileSystemStore) / 1000000.0);
        msgPrint(1392, static_cast<double>(megabytes));
    }
    dbExit();
    c.connectedToDb = 0;
    freeArchiveLists();
    releaseStrings();
    if (archiving() && last == 0)
        msgPrint(1345);
    const int status = endRunWith(finishedStatus());
    msgClose();
    releaseArchiveSemaphore();
    return status;
}

// A command line that was refused: one line on standard error, and the
// summary when it asked for one.  Nothing else is touched.
int refuseCommandLine(const RunRequest& request) {
    msgInit();
    beginRunSummary(request);
    const UsageError& error = *request.usageError;
    if (error.other.empty())
        msgPrintError(error.message, programName, error.subject.c_str());
    else
        msgPrintError(error.message, programName, error.subject.c_str(), error.other.c_str());
    const int status = endRunWith(ExitStatus::usage);
    msgClose();
    return status;
}

// What every run that reaches the family does first: messages, summary,
// the ways out of the database's failures and of memory, and the login.
void startRun(const RunRequest& request) {
    msgInit();
    beginRunSummary(request);
    dbSetFatalExit(cleanUpAndExit, programName);
    dbSetTerminationFlag(&pendingSignal);
    installArchiveNewHandler();
    archCtx.familyName = passwdName();
    archCtx.familyHomeDir = passwdHome();
}

// The family's environment and database, once the semaphore is settled;
// termination signals are only recorded from here on.
void connectToFamily() {
    sigInit();
    startPhase(RunPhase::environment);
    if (setUpEnvironment())
        endRun();
    startPhase(RunPhase::connect);
    connectToDatabase();
}

// --restore: a run of its own under the archive semaphore, with the
// family's login, environment and database as an archive run has them.
int restoreRun(const RunRequest& request) {
    startRun(request);
    archCtx.scripted = true;
    setFailureStatus(ExitStatus::failed);
    startPhase(RunPhase::semaphore);
    if (takeArchiveSemaphore(request.force))
        cleanUpAndExit();
    sigInit();
    startPhase(RunPhase::environment);
    if (setUpEnvironment())
        endRun();
    const std::string root = verifyForRestore(request.restorePath);
    startPhase(RunPhase::connect);
    connectToDatabase();
    startPhase(RunPhase::removal);
    restoreArchive(root, request.restorePath, request.dryRun);
    startPhase(RunPhase::end);
    sigCheck();
    msgPrint(1344);
    dbExit();
    archCtx.connectedToDb = 0;
    releaseStrings();
    const int status = endRunWith(ExitStatus::done);
    msgClose();
    releaseArchiveSemaphore();
    return status;
}

}  // namespace

void sigInit() {
    setDisposition(SIGPIPE, SIG_IGN);
    for (int signo : terminationSignals)
        setDisposition(signo, sigRecord);
}

void sigCheck() {
    const int signo = pendingSignal;
    if (signo == 0)
        return;
    if (signo == SIGHUP || signo == SIGURG) {
        if (archCtx.connectedToDb)
            dbBreak();
        dbCloseQueryCursor();
        dbCloseReportCursor();
    }
    serverRestart();
}

[[noreturn]] void serverRestart() {
    for (int signo : terminationSignals)
        setDisposition(signo, SIG_IGN);
    msgPrint(1438, programName);
    cleanUpAndExit();
}

std::string readInstallRecord(FILE* record) {
    std::string database;
    char line[256];
    while (std::fgets(line, sizeof line, record) != nullptr) {
        if (line[0] == '#')
            continue;
        for (const DialectSettings& product : databaseProducts()) {
            if (std::strstr(line, product.recordText) != nullptr) {
                database = product.name;
                break;
            }
        }
    }
    return database;
}

int peloarchive(const RunRequest& request) {
    switch (request.action) {
    case RequestAction::help:
        std::fputs(usageText(programName).c_str(), stdout);
        return 0;
    case RequestAction::version:
        std::printf("%s %s\n", programName, serverLevel);
        return 0;
    case RequestAction::verify:
        // The archive alone is looked at: no login, semaphore or database.
        return verifyArchive(request.verifyPath);
    case RequestAction::restore:
        return restoreRun(request);
    case RequestAction::usageError:
        return refuseCommandLine(request);
    case RequestAction::run:
        break;
    }
    startRun(request);
    archCtx.fileSystemStore = 0;
    // What the dialog refuses in a scripted run is an answer the command
    // line gave.
    startPhase(RunPhase::dialog);
    setFailureStatus(ExitStatus::usage);
    if (getArchiveOptionAndParms(request) != 0)
        cleanUpAndExit();
    noteDialogChoices();
    setFailureStatus(ExitStatus::failed);
    startPhase(RunPhase::semaphore);
    if (archiving() && takeArchiveSemaphore(request.force))
        cleanUpAndExit();
    archCtx.deleteStarted = 0;
    connectToFamily();
    checkPrerequisites();
    if (archiving())
        startArchiveFiles();
    writeDatabaseFiles();
    collectArchiveFiles();
    return endNormally(finishArchive());
}

}  // namespace pelo
