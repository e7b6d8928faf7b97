// The histories the version-control phase will come to, listed ahead of
// their turn.  Under PVCS every history is listed once with vlog before
// its deltas are cut one vdel at a time; the listings of the next
// histories run meanwhile, a few at a time, and each is used at its
// history's turn.  Nothing done ahead is ever seen: it is silent, it only
// does what the turn would do again, and a listing is used only when it
// ran to its end as the turn's own would have.  Whatever went otherwise
// ahead is simply done again at the turn, as if nothing had run ahead.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/commandLine.h"
#include "support/commandPool.h"
#include "support/runner.h"

namespace pelo {

/// One history the phase's loop comes to: the first file of its source,
/// by id (its row is read again at the turn, so that a long list of
/// files does not keep every row), its source and its type.
struct HistoryTurn {
    int fileId;
    int sourceId;
    int type;
};

/// vlog's listing of a history is captured into a buffer of this size.
inline constexpr std::size_t vlogBufSize = 40000;

/// "vlog -br history" with the tools of dir, as the clean-up runs it.
CommandLine vlogCommand(const std::string& tools, const std::string& history);

/// The vlog listings of the turns to come.  Dropping it kills and
/// collects every listing still running.
class HistoriesAhead {
public:
    /// turns in the loop's order; base is the directory below which the
    /// histories are listed: the archive directory, whose copies are made
    /// ahead as the turn makes them, or the family home, read as it is.
    HistoriesAhead(const std::vector<HistoryTurn>& turns, std::string base, bool copiesToMake);

    /// The loop has come to turn (counted from 0): the listings of that
    /// turn and of the next few are started, those not started yet.
    void comeTo(std::size_t turn);

    /// The listing of the command line if it ran ahead and its tool ended
    /// with an exit status of its own, in the buffers as send_command
    /// leaves them; else nothing, and the caller runs it itself.
    std::optional<CommandResult> take(const CommandLine& command, char* outBuf, std::size_t outSize, char* errBuf,
                                      std::size_t errSize);

private:
    bool prepareCopy(const HistoryTurn& turn) const;

    const std::vector<HistoryTurn>& turns_;
    std::string base_;
    bool copiesToMake_;
    std::size_t next_ = 0;  // the first turn not yet looked at
    std::size_t reach_;     // how many turns beyond the current one are prepared
    CommandPool pool_;
};

}  // namespace pelo
