// The work files of an archive run and the head of its information file.
//
// createFiles() (phases.h) opens, in the order of workFileTable
// (context.h), each work file the run has, with its mode (WorkFile::open).
// The modes are passed to open, so the process's umask still applies.  It
// sets createdFiles first, so a failure part-way removes what exists; a
// file that cannot be created or streamed prints its own message and ends
// the run through cleanUpAndExit.
//
// writeToArchiveInfoFile() (phases.h) writes the first nine lines of the
// information file on archInfo's stream, each flushed as it is written: the
// family, an underline and an empty line, the date, the server level
// "2.1", the database, the version-control type, whether the archived
// data is deleted, the destination, and the type of archive with the level
// or the release names.  The labels are the catalogue's texts.  1 as soon
// as a checked line fails to reach the file, or when the final flush fails
// or finds the stream in error (which is how a lost type line or release
// name shows), else 0.
#pragma once

#include <ctime>
#include <string>

#include "archive/phases.h"

namespace pelo {

/// The server level recorded for the restore program, which refuses an
/// archive made at another level; --version prints it too.
inline constexpr const char* serverLevel = "2.1";

/// The information file's date: "%02d/%02d/%02d %02d:%02d:%02d" of the
/// years since 1900, month 1 to 12, day, hour, minute and second, so 2026
/// is written 126.
std::string formatArchiveDate(const std::tm& time);

}  // namespace pelo
