// Releases.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/records.h"

namespace pelo {

/// Reads a release by its name.  0 found and filled; 1 no such row, the record untouched.  A `name`
/// longer than 32 characters ends the run.
int dbgReleaseGetByName(ReleaseRecord& release, std::string_view name);

/// Reads a release by its id.  0 found and filled; 1 no such row, the record untouched.
int dbgReleaseGetById(ReleaseRecord& release, std::int32_t id);

/// Whether a release of that name exists.  1 or 0.  A `name` longer than 32 characters ends the
/// run.
int dbgReleaseExists(std::string_view name);

/// Deletes a release.  0, whether or not a row matched.
int dbgReleaseDeleteById(std::int32_t id);

}  // namespace pelo
