// The one way out of a failed run.
#pragma once

namespace pelo {

/// Closes and removes what the run created, as the context flags say,
/// disconnects, releases the archive semaphore and exits with status 1.
[[noreturn]] void cleanUpAndExit();

/// The same after memory ran out.
[[noreturn]] void cleanUpAndExitNoMem();

/// Frees the id lists still held by the archive context.
void freeArchiveLists();

}  // namespace pelo
