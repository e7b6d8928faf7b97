// Copies and removals of the family's files made by the utility itself,
// without a process for each: a kernel copy where the file systems allow
// one, plain reads and writes otherwise.
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

/// Removes the file (or the link itself); "" when it is gone, otherwise
/// the complaint, as copyRegularFile gives it.  A file that is not there
/// is a complaint: something that should be there was not.
std::string removeFile(const std::string& path);

/// Removes the directory and everything below it, links themselves and not
/// what they lead to; nothing there is no complaint.  Stops at the first
/// entry that cannot be removed and gives its complaint.
std::string removeTree(const std::string& path);

/// Removes the empty directory; "" or the complaint.
std::string removeEmptyDirectory(const std::string& path);

}  // namespace pelo
