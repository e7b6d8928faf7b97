// Small pieces the archive phases share.
#pragma once

#include <string>

#include "archive/context.h"

namespace pelo {

/// The cpio list's line for a work file of a device archive.  cpio runs in
/// the family home, so a file there is named relative to it: "./NAME\n"
/// with the bare name when the working directory is the family home;
/// ".REST\n" with the path less the home when the path lies below the home;
/// the full path and "\n" otherwise.
std::string cpioListLine(WorkFile ArchiveContext::*file);

/// Appends the work file's line to the cpio list (cpioFileList).  0, or 1
/// when the list is not open or the write failed; the caller reports it.
int addCpioListEntry(WorkFile ArchiveContext::*file);

/// Writes text to the information file; 1 after message 1458 (0010-982)
/// with its path when the file is not open or the write failed.
int writeInfoLine(const std::string& text);

/// Writes text, one name and its new-line, to the cpio list; 1 after
/// message 1458 with its path when the list is not open or the write
/// failed, and 1 after message 1548 when the name holds a new-line.
int writeCpioLine(const std::string& text);

/// A section heading of the information file: a new line, the catalogue
/// text and a new line; 1 after message 1458 when it cannot be written.
int writeInfoHeading(int message);

/// Flushes and closes the work file; 1 after message 1435 (flush) or 1436
/// (close) with the program's name and the file's path.
int closeReported(WorkFile& file);

/// Makes the archive durable before anything is removed from the family:
/// flushes the work files still open and forces the archive directory's
/// file system (or a device with a cache of its own) onto its medium.  0,
/// or 1 after message 0012-011 naming what could not be forced.
int syncArchive();

/// Prints the message, which names the program, for a variable the run
/// needs that is unset or does not fit the family's product; 1.
int refuseUnset(int message);

/// "." for a unit of work done, where a termination signal that arrived
/// meanwhile is honoured.
void workDot();

}  // namespace pelo
