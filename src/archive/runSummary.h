// What a run tells a script at its end: the exit status it ends with, and
// the summary that --json asks for (the choices, the outcome, the message
// numbers printed, the object counts, the bytes of each kind of archived
// file, the estimate of a check-only run and how long each phase took).
//
// The driver marks where each phase starts; the summary is written once,
// at the normal end or in the clean-up, whichever ends the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/exitStatus.h"
#include "archive/runRequest.h"

namespace pelo {

/// The steps of a run the summary times, in run order.
enum class RunPhase {
    dialog,
    semaphore,
    environment,
    connect,
    prerequisites,
    workFiles,
    populate,
    exportNotesVersions,
    levelMaps,
    configFiles,
    histories,
    storage,
    cpio,
    sync,
    readBack,
    removal,
    end,
};

/// Bytes of each kind of file an archive holds, or a check-only run
/// estimates.
struct ArchiveBytes {
    std::int64_t script = 0;   ///< PELOarchive.dbData
    std::int64_t exports = 0;  ///< the export or the load files of Notes and Versions
    std::int64_t maps = 0;
    std::int64_t configFiles = 0;  ///< the *.ld files and configField/
    std::int64_t histories = 0;    ///< vc/
};

/// Starts the summary of the request's run: its clock, its force and
/// continue answers and where --json wants the summary (none: nothing is
/// written).
void beginRunSummary(const RunRequest& request);

/// Ends the phase under way and starts timing the next.
void startPhase(RunPhase phase);

/// Keeps what writing the row copy took, which the populate walk spreads
/// over its rows.
void noteRowCopySeconds(double seconds);

/// The status a failure of a scripted run ends with from now on, for the
/// failures that status names (usage while the dialog checks the options'
/// answers, notReady once the prerequisite checks refuse); failed by
/// default.
void setFailureStatus(ExitStatus status);

/// Keeps the release names the dialog chose, which the prerequisite
/// checks take from the context.
void noteDialogChoices();

/// What a run that fails now exits with: failed for an interactive run;
/// for a scripted one notVerified once the archive did not verify,
/// removalFailed once removal has started, else the status set last.
ExitStatus failureStatus();

/// What a run that reached its end exits with: done, or for a scripted
/// run notVerified when the archive did not verify.
ExitStatus finishedStatus();

/// Measures what an archive run wrote, by kind, once every archive file is
/// complete and before cpio takes the work files away: the archive
/// directory of a file-system archive, the files the cpio list names for
/// a device archive.
void measureArchiveBytes();

/// The bytes of each kind: measured in an archive run (nothing before
/// measureArchiveBytes), the estimate's shares in a check-only run.
std::optional<ArchiveBytes> archiveBytes();

/// The kind of an archived file from its name relative to the archive's
/// root (or the family home): null for the information, users and list
/// files, which belong to no kind.
std::int64_t ArchiveBytes::* byteKind(const std::string& relative);

/// The summary as JSON text, with the status the run ends with.
std::string runSummaryJson(ExitStatus status);

/// Writes the summary where --json said: a temporary file in the same
/// directory, synced, then renamed over the name, so a reader finds the
/// whole summary or none.  0 when written (or not asked for); 1 after
/// message 1709.
int writeRunSummary(ExitStatus status);

/// Writes the summary and gives the status to exit with: a completed run
/// whose summary could not be written has failed.
int endRunWith(ExitStatus status);

}  // namespace pelo
