// The version-control histories of a planned family, below <home>/vc at
// the places the archive derives from the source ids.
#pragma once

#include <string>

#include "model.h"

namespace pelo::family {

/// Writes every source's history: SCCS files made with the SCCS tools in
/// csscDir (one delta per version, SIDs as planned), binary directories
/// (an "s.binary" delta tree, full copies and reverse differences), or
/// PVCS stand-in archives.  scratch is a directory for the first deltas
/// the SCCS histories are copied from; it is removed again.  0, or 1 with
/// the reason in error.
int writeHistories(const Family& family, const std::string& home, const std::string& scratch,
                   std::string& error);

/// As writeHistories, through the cache directory the options name: the
/// histories are copied from it when it holds them, and otherwise made
/// and then kept there.  One run at a time fills or reads an entry; the
/// others wait.
int writeCachedHistories(const Family& family, const std::string& home, const std::string& scratch,
                         std::string& error);

}  // namespace pelo::family
