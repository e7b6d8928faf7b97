// FILESOUTVIEW: checked-out files with the release of each.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/records.h"

namespace pelo {

/// Whether a file of the named release is checked out.  1 or 0.  A `releaseName` longer than 32
/// characters ends the run.
int dbgFilesoutviewExistsForRelease(std::string_view releaseName);

}  // namespace pelo
