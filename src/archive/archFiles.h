// The files of an archive beyond the database: configuration files, and
// the version-control histories with the lists that trim them.
#pragma once

#include <string>

#include "db/records.h"

namespace pelo {

/// One family configuration file by its full path: its size added to the
/// estimate (check-only run), copied into the archive directory or, with
/// intoConfigField, its configField directory (file-system archive), or
/// nothing (device archive, where the caller lists it).  0 or 1 after the
/// message.
int copyFileToDest(const char* path, int intoConfigField);

/// The directory of the version-control tools: PELO_VCBIN less leading and
/// trailing blanks and tabs, read at each use; empty when unset or blank.
std::string vcToolDir();

/// The clean-up of one history, by the file's row and type: the deltas
/// that are not archived are written to the VC clean-up list (gen…, device
/// archive) or removed from the copy below the archive directory (parse…,
/// file-system archive).  0, or 1 after the message.
int genSCCSvcCleanUPfile(const FileRecord& file, int fileType);
int genPVCSvcCleanUPfile(const FileRecord& file, int fileType);
int parseSCCSvcFiles(const FileRecord& file, int fileType);
int parsePVCSvcFiles(const FileRecord& file, int fileType);

}  // namespace pelo
