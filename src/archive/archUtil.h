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

}  // namespace pelo
