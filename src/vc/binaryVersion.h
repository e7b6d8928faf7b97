// Versions of a binary history directory: rebuilding one from the nearest
// full copy above it through the chain of reverse differences, and the
// SID arithmetic that walks that chain.
#pragma once

#include <string>

namespace pelo {

/// Lowers the number after the last "." of the SID by one, in place
/// ("1.10" becomes "1.9").  A SID without "." is left alone.
void vcCalcPreviousVer(std::string& sid);

/// Raises the number after the last "." of the SID by one, in place
/// ("1.9" becomes "1.10").
void vcCalcNextVer(std::string& sid);

/// Copies source to target in 1024-byte blocks; the target is created with
/// mode 0644 and removed again when a read or a write fails.  0 or 1.
int vcCopy(const char* source, const char* target);

/// Makes the version named by path (a binary directory, "/" and a SID)
/// available.  The nearest full copy at or above the SID (last number
/// raised one by one, up to 9999) is turned back into the requested
/// version by applying each reverse difference ("SIDd") on the way down.
///
/// Without an output path the result is left in the directory as the full
/// copy named by path: the full copy found stays and every intermediate
/// one is removed.  With an output path the result is written there and
/// the directory is not changed.
///
/// Returns 1 when the requested full copy already existed (nothing done),
/// 0 when it was rebuilt, -1 on failure with the catalogue's explanation
/// appended to messages (when given).
int vcGetSCCSBinaryFile(const std::string& path, const char* outputPath, std::string* messages);

}  // namespace pelo
