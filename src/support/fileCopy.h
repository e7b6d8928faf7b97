// Copies of the family's files made by the utility itself: a kernel copy
// where the file systems allow one, plain reads and writes otherwise.
#pragma once

#include <string>

namespace pelo {

/// Copies the regular file at source to target and returns "" when the
/// copy is whole; otherwise the complaint, a line that names the failing
/// call, the path and the system's reason, or the path and the kind of
/// file that is not copied, ending in a new-line.
///
/// A symbolic link is followed.  Only a regular file is copied: anything
/// else is refused without being read, so a FIFO never blocks.  A target
/// that is created gets the source's permission bits less the umask, and
/// never the set-id or sticky bits; a target that is there keeps its own
/// and is overwritten.  A target left incomplete by a failure is removed.
std::string copyRegularFile(const std::string& source, const std::string& target);

}  // namespace pelo
