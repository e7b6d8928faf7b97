// An SCCS history's delta table read straight from the file: the SIDs the
// clean-up walks, without starting prs for every history.  The reader
// takes only what it reads cleanly and otherwise declines, so that prs
// is asked instead and gives the list or its complaint.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelo {

/// The SIDs of the history's deltas that are not removed (type "D"),
/// newest first in the order of its delta table: exactly the lines
/// "prs -e -d:I:" prints for it, on a history prs reads without a word on
/// standard error.
///
/// Declines (std::nullopt) on anything it does not read cleanly: a first
/// line other than ^Ah and five digits, a checksum that does not match
/// the rest of the file (prs warns about it on standard error, which the
/// clean-up takes as a failure), a header that ends early, a line of the
/// delta table, user list, flags or description it does not know (among
/// them the include, exclude and ignore lists of a delta), an ^As or ^Ad
/// line not in the form SCCS writes, a SID other than two or four numbers
/// from 1 to 9999, a date or time that is not a real one, and a flag other
/// than b, j, n, e 0, e 1, m, q, t and v.  The body after the header is not
/// read except for the checksum.  A history with no delta that is not
/// removed gives an empty list, as prs prints nothing for it.
std::optional<std::vector<std::string>> sccsDeltaSids(std::string_view history);

/// The same for the history file at path; declines too when the file
/// cannot be read.
std::optional<std::vector<std::string>> sccsDeltaSidsOfFile(const std::string& path);

}  // namespace pelo
