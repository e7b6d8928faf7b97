// The one way out of a failed run.
#pragma once

namespace pelo {

/// Closes and removes what the run created, as the context flags say,
/// disconnects, releases the archive semaphore, writes the run's summary
/// when one was asked for and exits: with status 1, or in a scripted run
/// with the status that names the failure (failureStatus, runSummary.h).
/// After removal has begun (keepArchive) it closes the archive's files and
/// removes none of them.
[[noreturn]] void cleanUpAndExit();

/// Tells the user that removal did not finish (0010-949) and where the
/// archive that holds what was removed is: the directory or the device.
void warnRemovalFailed();

/// Hands the clean-up a step that undoes what a run changed in the family
/// outside its transaction; it runs before the semaphore is released and
/// the session rolled back.  Null forgets it.
void setCleanUpUndo(void (*undo)());

/// The same after memory ran out.
[[noreturn]] void cleanUpAndExitNoMem();

/// Frees the id lists still held by the archive context.
void freeArchiveLists();

/// What every run gives back at its end, failed or not: the context's
/// family strings and the archive semaphore, when this run holds it.
void releaseStrings();
void releaseArchiveSemaphore();

}  // namespace pelo
