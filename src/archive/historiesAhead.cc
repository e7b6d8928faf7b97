#include "archive/historiesAhead.h"

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "archive/archFiles.h"
#include "archive/context.h"
#include "support/fileCopy.h"
#include "support/util.h"
#include "vc/location.h"

namespace pelo {

namespace {

/// The directory and its missing parents, top down, with the mode the
/// turn gives them; nothing is logged, the turn reports its own failure.
bool makeDirsQuietly(const std::string& dir) {
    if (dir.empty() || dirExists(dir.c_str()))
        return true;
    if (auto parent = dirPath(dir); parent && *parent != dir && !makeDirsQuietly(*parent))
        return false;
    return mkdir(dir.c_str(), 0755) == 0;
}

/// The copy the turn would make, written beside the target and given the
/// target's name only while that is free, so a failure leaves no half
/// copy that the turn would take for a finished one.
bool copyQuietly(const std::string& source, const std::string& target) {
    const std::string temporary = target + ".ahead";
    const bool copied = copyRegularFile(source, temporary).empty() && link(temporary.c_str(), target.c_str()) == 0;
    unlink(temporary.c_str());
    return copied;
}

/// Listings are started for the current turn and up to this many turns
/// per processor beyond it.
constexpr std::size_t turnsAheadPerProcessor = 8;

/// Listings that run at once: two a processor, since the pool starts the
/// next only when the loop comes back to it, and the loop meanwhile
/// waits on the one-at-a-time deletions of its own history.
constexpr std::size_t listingsPerProcessor = 2;

}  // namespace

CommandLine vlogCommand(const std::string& tools, const std::string& history) {
    return CommandLine().quoted(tools + "/vlog").text(" -br").arg(history);
}

HistoriesAhead::HistoriesAhead(const std::vector<HistoryTurn>& turns, std::string base, bool copiesToMake)
    : turns_(turns), base_(std::move(base)), copiesToMake_(copiesToMake),
      reach_(turnsAheadPerProcessor * processorCount()), pool_(listingsPerProcessor * processorCount()) {}

/// What the turn does before its listing, done quietly: the family's
/// history must pass the turn's check, and in a file-system archive its
/// copy is made as the turn makes it (directory, mode 0777 for the PVCS
/// tools, the copy once).  False when any of it fails.
bool HistoriesAhead::prepareCopy(const HistoryTurn& turn) const {
    const std::string relative = std::string("/vc/") + vcLocation(turn.sourceId, turn.type);
    const std::string family = archCtx.familyHomeDir + relative;
    if (!familyPathRefusal(archCtx.familyHomeDir, family, false).empty())
        return false;
    if (!copiesToMake_)
        return true;
    const std::string target = base_ + relative;
    const std::string dir = dirPath(target).value_or(base_);
    return makeDirsQuietly(dir) && chmod(dir.c_str(), 0777) == 0 &&
           (fileIsThere(target.c_str()) || copyQuietly(family, target));
}

void HistoriesAhead::comeTo(std::size_t turn) {
    const std::string tools = vcToolDir();
    if (tools.empty())
        return;
    for (; next_ < turns_.size() && next_ <= turn + reach_; ++next_) {
        const HistoryTurn& ahead = turns_[next_];
        // A binary directory's history is left to its turn.
        if (vcIsBinaryDirectory(ahead.type) || !prepareCopy(ahead))
            continue;
        const std::string history = base_ + "/vc/" + vcLocation(ahead.sourceId, ahead.type);
        const CommandLine command = vlogCommand(tools, history);
        pool_.submit(command.str(), command, vlogBufSize, stdErrBufSize);
    }
}

std::optional<CommandResult> HistoriesAhead::take(const CommandLine& command, char* outBuf, std::size_t outSize,
                                                  char* errBuf, std::size_t errSize) {
    std::optional<CommandResult> listed = pool_.take(command.str(), outBuf, outSize, errBuf, errSize);
    // A listing the runner failed or a signal ended says nothing of the
    // history: the turn runs it again and reports what it finds then.
    if (listed && listed->ending.kind != Ending::Kind::exited)
        return std::nullopt;
    return listed;
}

}  // namespace pelo
