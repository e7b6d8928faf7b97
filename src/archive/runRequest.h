// What a run is asked to do, read from the command line before anything
// else happens.  The dialog asks for whatever the request leaves open and
// puts the whole of it in the archive context, where the phases read it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelo {

/// An archive run writes the archive (and may remove what it holds); a
/// check-only run only checks the family and estimates the space.
enum class RunMode { checkOnly, archive };

/// The request: each answer the dialog would otherwise ask for, unset when
/// the command line does not give it.
struct RunRequest {
    std::optional<RunMode> mode;
    /// A level archive: the level, with its one release in releaseNames.
    std::optional<std::string> levelName;
    /// The releases to archive, in order; empty when not given.
    std::vector<std::string> releaseNames;
    /// The destination: a directory, or a device with its working directory.
    std::optional<std::string> fileSystemName;
    std::optional<std::string> deviceName;
    std::optional<std::string> workDirName;
    /// Whether the archived objects are removed afterwards.
    std::optional<bool> removal;
    /// -F: take the archive semaphore that a dead run left behind.
    bool force = false;
};

/// The request of "peloarchive [-F]": -F as the first argument sets force.
/// Nothing else on the command line is read yet; the dialog asks the rest.
RunRequest parseRunRequest(int argc, const char* const argv[]);

}  // namespace pelo
