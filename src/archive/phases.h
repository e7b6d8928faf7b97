// The phases of an archive run, in the order the driver calls them.  Each
// reads and writes the archive context, prints its own progress and failure
// messages, and returns 0 on success; a result greater than 0 makes the
// driver end the run through the clean-up.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pelo {

/// Verifies the family allows the requested archive and fills
/// releaseIdList, levelIdList, trackIdList and trackIdHoldList.
int checkArchivePrereqs();

/// Creates and opens the work files (archive run only); ends the run
/// through the clean-up on any failure.
void createFiles();

/// Writes the head of the information file; 1 when a write failed.
int writeToArchiveInfoFile();

/// Selects the archived rows and writes the populate script; in a
/// check-only run fills only the lists and counters.
int generateDbPopulateFile();

/// Exports the Notes and Versions tables (oracle, sybase, dizoz).
int export_Notes_Versions();

/// Copies, lists or sizes the level maps of the archived levels.
int getLevelMaps();

/// Copies, lists or sizes the family configuration files.
int getFamilyConfigFiles();

/// Copies, lists or sizes the version-control histories.
int getVCFiles();

/// Adds to the estimate, writes the object counts and closes the
/// information file.
int calculateStorage();

/// The object counts that calculateStorage writes, named as the counts
/// section of the information file names them ("Defects(Features)"), in
/// its order.
std::vector<std::pair<std::string, int>> objectCounts();

/// The share of the database's estimate that the Notes and Versions rows
/// take: their load files, or the export of the whole tables.
std::int64_t notesVersionsShare();

/// Writes a device archive to the device with cpio.
int runCPIO();

/// Removes the archived rows, deltas and histories from the family.
int removeArchivedObjects();

}  // namespace pelo
