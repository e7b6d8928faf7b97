// What the version-control benchmarks share: the histories an archive
// named in its information file, and the check that the floor script's
// copies are the archive's.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
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

/// The commands of a history kind: the listing the phase runs on every
/// trimmed copy and the removal of one delta.
struct VcTools {
    std::string list, listFormat, remove, removeFlags;
};

inline VcTools toolsFor(const std::string& vc, const std::string& dir) {
    if (vc == "pvcs")
        return {dir + "/vlog", "-br", dir + "/vdel", "-q -y -r"};
    return {dir + "/prs", "-e -d:I:", dir + "/rmdel", "-r"};
}

/// The deltas the tool lists for a history, newest first: prs's SIDs, or
/// the revisions of vlog's "Rev" lines.
inline std::vector<std::string> deltasOf(const VcTools& tools, const fs::path& history) {
    const std::string command = shellQuote(tools.list) + " " + tools.listFormat + " " + shellQuote(history.string());
    const bool vlog = tools.listFormat == "-br";
    std::vector<std::string> deltas;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return deltas;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        if (vlog && !text.starts_with("Rev "))
            continue;
        text.erase(0, vlog ? 4 : 0);
        text.erase(std::min(text.find_first_of(" \t\r\n"), text.size()));
        if (!text.empty())
            deltas.push_back(text);
    }
    pclose(pipe);
    return deltas;
}

/// Fills in which histories the phase trimmed and the deltas it removed
/// from each: those the family's history lists and the copy no longer
/// does.  A copy still byte for byte the family's lost nothing.
inline bool readRemovedDeltas(std::vector<History>& histories, const std::unordered_set<std::string>& trimmed,
                       const fs::path& home, const fs::path& archive, const VcTools& tools) {
    for (History& history : histories) {
        history.trimmed = trimmed.contains(history.historyFile().string());
        const fs::path family = home / history.historyFile(), copy = archive / history.historyFile();
        if (!fs::exists(copy))
            return fail("the archive holds no copy of " + family.string());
        if (!history.trimmed || readWhole(family) == readWhole(copy))
            continue;
        const std::vector<std::string> kept = deltasOf(tools, copy);
        for (const std::string& delta : deltasOf(tools, family))
            if (std::ranges::find(kept, delta) == kept.end())
                history.removed.push_back(delta);
    }
    return true;
}

/// The phase's commands for every history, to run into target, whose
/// directories are made here so that the script holds only the tools'
/// work.  Returns how many commands it holds.
inline std::size_t writeFloorScript(const std::vector<History>& histories, const fs::path& home, const fs::path& target,
                             const VcTools& tools, const fs::path& script) {
    std::ofstream out(script);
    out << "set -e\n";
    std::size_t commands = 0;
    const std::string list = shellQuote(tools.list) + " " + tools.listFormat;
    const std::string remove = shellQuote(tools.remove) + " " + tools.removeFlags;
    for (const History& history : histories) {
        const fs::path from = home / history.relative, to = target / history.relative;
        fs::create_directories(history.binary ? to : to.parent_path());
        std::vector<std::pair<fs::path, fs::path>> copies = {{from, to}};
        if (history.binary) {
            copies.clear();
            for (const std::string& entry : sortedEntries(from))
                copies.emplace_back(from / entry, to / entry);
        }
        for (const auto& [source, copy] : copies)
            out << "cp " << shellQuote(source.string()) << ' ' << shellQuote(copy.string()) << '\n';
        commands += copies.size();
        if (!history.trimmed)
            continue;
        const std::string copy = shellQuote((target / history.historyFile()).string());
        out << list << ' ' << copy << " >/dev/null\n";
        for (const std::string& delta : history.removed)
            out << remove << delta << ' ' << copy << '\n';
        commands += 1 + history.removed.size();
    }
    return commands;
}

}  // namespace pelo::bench
