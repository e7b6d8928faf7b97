// The exit statuses of the utility, in one place.  An interactive run ends
// with done or failed only, as it always has; a scripted run tells its
// caller why it failed, so that a script can tell a family that is not
// ready from a full disk.
#pragma once

#include <array>

namespace pelo {

enum class ExitStatus : int {
    done = 0,           ///< the run completed
    failed = 1,         ///< any other failure, or a termination signal
    usage = 2,          ///< the command line, or an answer it gave, was refused
    notReady = 3,       ///< a prerequisite check refused the family
    notVerified = 4,    ///< the archive did not verify, so removal was refused; the archive is kept
    removalFailed = 5,  ///< removal was interrupted or failed (0010-949)
};

/// The name a summary gives the status, and the line --help gives it.
struct ExitStatusHelp {
    ExitStatus status;
    const char* name;
    const char* help;
};

inline constexpr std::array<ExitStatusHelp, 6> exitStatusHelp = {{
    {ExitStatus::done, "done", "the run completed"},
    {ExitStatus::failed, "failed", "the run failed or was stopped"},
    {ExitStatus::usage, "usage", "the command line, or an answer it gave, was refused"},
    {ExitStatus::notReady, "notReady", "the family is not ready: a prerequisite check refused it"},
    {ExitStatus::notVerified, "notVerified", "the archive did not verify; it is kept and nothing was removed"},
    {ExitStatus::removalFailed, "removalFailed", "removal was interrupted or failed (0010-949)"},
}};

}  // namespace pelo
