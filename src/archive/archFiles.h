// The files of an archive beyond the database: configuration files, and
// the version-control histories with the lists that trim them.
#pragma once

#include <string>

#include "db/records.h"

namespace pelo {

class HistoriesAhead;

/// One family configuration file by its full path: its size added to the
/// estimate (check-only run), copied into the archive directory or, with
/// intoConfigField, its configField directory (file-system archive), or
/// nothing (device archive, where the caller lists it).  0 or 1 after the
/// message.  A file that familyPathRefusal refuses is neither sized nor
/// copied: 0010-945 with the refusal as its error in a file-system
/// archive, else as refuseFamilyFile.
int copyFileToDest(const char* path, int intoConfigField);

/// Reports a family file (map, configuration file, history) that
/// familyPathRefusal refused, why being its text: 0012-003 in a check-only
/// run, 0012-004 in a device archive.  A file-system archive reports the
/// copy message of its phase instead.  Returns 1.
int refuseFamilyFile(const std::string& path, const std::string& why);

/// The directory of the version-control tools: PELO_VCBIN less leading and
/// trailing blanks and tabs, read at each use; empty when unset or blank.
std::string vcToolDir();

/// The clean-up of one history, by the file's row and type: the deltas
/// that are not archived are written to the VC clean-up list (gen…, device
/// archive) or removed from the copy below the archive directory (parse…,
/// file-system archive).  0, or 1 after the message.  Under PVCS the
/// history's listing is taken from ahead when it ran there.
int genSCCSvcCleanUPfile(const FileRecord& file, int fileType);
int genPVCSvcCleanUPfile(const FileRecord& file, int fileType, HistoriesAhead* ahead = nullptr);
int parseSCCSvcFiles(const FileRecord& file, int fileType);
int parsePVCSvcFiles(const FileRecord& file, int fileType, HistoriesAhead* ahead = nullptr);

}  // namespace pelo
