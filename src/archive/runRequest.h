// What a run is asked to do, read from the command line before anything
// else happens.  The dialog asks for whatever the request leaves open and
// puts the whole of it in the archive context, where the phases read it.
//
// With no argument, or with -F alone, the request leaves every answer open
// and the run is the interactive dialog.  Any option that answers a menu
// makes it a scripted run: the options must then answer every menu the
// run would ask, or the command line is refused before anything happens.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelo {

/// An archive run writes the archive (and may remove what it holds); a
/// check-only run only checks the family and estimates the space.
enum class RunMode { checkOnly, archive };

/// What the command line asks of the program: a run, or only its usage or
/// its level, or the verification of an archive (--verify, which takes no
/// other option), or the restore of an archive into the family (--restore,
/// with --dry-run and -F alone), or nothing but the report of a command line
/// it refused.
enum class RequestAction { run, help, version, verify, restore, usageError };

/// A refused command line: the message (1717, 1718, 1719 or 1708) and the
/// options it names.
struct UsageError {
    int message = 0;
    std::string subject;
    std::string other;
};

/// The request: each answer the dialog would otherwise ask for, unset when
/// the command line does not give it.
struct RunRequest {
    RequestAction action = RequestAction::run;
    std::optional<UsageError> usageError;
    /// Some option answers a menu: nothing is asked, nothing is read from
    /// standard input.
    bool scripted = false;
    std::optional<RunMode> mode;
    /// A level archive: the level, with its one release in releaseNames.
    std::optional<std::string> levelName;
    /// The releases to archive, in order; empty when not given.
    std::vector<std::string> releaseNames;
    /// The releases of a release archive as one line, split at blanks as a
    /// typed line is (--releases).
    std::optional<std::string> releaseLine;
    /// The destination: a directory, or a device with its working directory.
    std::optional<std::string> fileSystemName;
    std::optional<std::string> deviceName;
    std::optional<std::string> workDirName;
    /// Whether the archived objects are removed afterwards.
    std::optional<bool> removal;
    /// The answer to the question after cpio: go on (--continue).
    bool continueAfterCpio = false;
    /// --json: where the run's summary goes.
    std::optional<std::string> summaryPath;
    /// --verify: the archive to verify, a directory or a file or device
    /// holding a cpio archive.
    std::string verifyPath;
    /// --restore: the archive to put back, as --verify reads it; --dry-run
    /// only says what it would put back.
    std::string restorePath;
    bool dryRun = false;
    /// -F: take the archive semaphore that a dead run left behind.
    bool force = false;
};

/// The request of the command line.  No argument, or "-F" alone, gives the
/// interactive run of old.  Options are read with getopt_long; an unknown
/// option or argument, a missing value, two options that exclude each
/// other, or a scripted run that leaves a menu unanswered gives action
/// usageError with the first such fault.  --help and --version end the
/// reading where they stand.
RunRequest parseRunRequest(int argc, const char* const argv[]);

/// One option of the command line, for the usage text and its tests.
struct OptionHelp {
    const char* name;   ///< "--level", "-F"
    const char* value;  ///< the value's placeholder, or null
    const char* help;   ///< one line
};

/// Every option, in the order the usage text lists them.
std::span<const OptionHelp> optionHelp();

/// The usage text of --help: the synopsis, one line per option and the
/// exit statuses.
std::string usageText(const char* program);

}  // namespace pelo
