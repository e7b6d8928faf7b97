// What the version-control benchmarks share: the histories an archive
// named in its information file, and the check that the floor script's
// copies are the archive's.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "benchFamily.h"
#include "support/commandLine.h"

namespace pelo::bench {

namespace fs = std::filesystem;

/// One history the phase copied, by its place below the family home.
struct History {
    fs::path relative;  ///< vc/... : the history file, or a binary directory
    bool binary = false;
    bool trimmed = false;              ///< the phase listed its copy's deltas
    std::vector<std::string> removed;  ///< deltas the phase took out, in the order the tool lists them

    fs::path historyFile() const { return binary ? relative / "s.binary" : relative; }
};

inline std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

/// The histories of the information file's "Version Control Files
/// Archived" section, in its order: a history file by its path, a binary
/// directory by its s.binary; the full copies and differences of a binary
/// directory named there too are part of that directory.
inline std::vector<History> archivedHistories(const fs::path& info, const fs::path& home) {
    std::ifstream in(info);
    std::string line;
    while (std::getline(in, line) && !line.starts_with("Version Control Files Archived")) {
    }
    std::getline(in, line);  // the underline
    const std::string prefix = home.string() + "/";
    std::vector<History> histories;
    std::set<fs::path> seen;
    while (std::getline(in, line) && line.starts_with(prefix)) {
        const fs::path path = line.substr(prefix.size());
        const std::string name = path.filename().string();
        const bool inBinaryDir = path.parent_path().filename().string().starts_with("b.");
        History history;
        if (name == "s.binary" && inBinaryDir)
            history.relative = path.parent_path(), history.binary = true;
        else if (name.starts_with("s.") && !inBinaryDir)
            history.relative = path;
        else
            continue;
        if (seen.insert(history.relative).second)
            histories.push_back(history);
    }
    return histories;
}

inline std::vector<std::string> sortedEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::ranges::sort(names);
    return names;
}

/// The script must have cut every history as the phase cut its copy.
inline bool sameAsArchive(const std::vector<History>& histories, const fs::path& archive, const fs::path& floor) {
    for (const History& history : histories)
        if (readWhole(archive / history.historyFile()) != readWhole(floor / history.historyFile()))
            return fail("the floor script's " + history.historyFile().string() + " differs from the archive's");
    return true;
}

}  // namespace pelo::bench
