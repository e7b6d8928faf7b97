// What the version-control tools list of a history, read into the order
// the clean-up walks it: prs's SID lines, vlog's revision log.  Both read
// text a tool printed about a file of the family, so any text is taken.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelo {

/// The first word of every line of prs's output that a new-line ends:
/// the history's SIDs, newest first.  Blank lines give nothing.
std::vector<std::string> prsSidLines(std::string_view output);

/// The revisions of vlog's log, one for each of its "Rev" lines, in the
/// log's order.
std::vector<std::string> vlogRevisions(std::string_view log);

/// Hands the revisions of vlog's log to handle, one at a time, each
/// branch's revisions before the revision it starts from, and stops at the
/// first call that returns non-zero (then 1; else 0).  The log is changed
/// as it is walked: a handled revision's "1." becomes "XX" so that its
/// entry is not found again, and a branch whose first revision (".0") has
/// been handled no longer matches its "Branches:  " line.  Only revisions
/// whose text starts with "1." are ever examined.  Each pass marks one
/// entry, so the walk ends after at most one call per "Rev 1." in the log.
int walkVlogRevisions(std::string& log, const std::function<int(const std::string& revision)>& handle);

}  // namespace pelo
