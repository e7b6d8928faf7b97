// peloarchive --verify on a real archive: the untouched archive passes, as
// sha256sum -c does, and each corruption is named by exactly its own
// problem lines, with status 1.  The runs have no login, family or
// database: only PATH and PELO_VCBIN.  Every dialect's archives are
// verified by the hostile tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "support/commandLine.h"
#include "support/digest.h"
#include "tools/scratchFamily.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using namespace pelo::testing;
using Lines = std::vector<std::string>;

/// The first regular file below dir/sub but other, by path order, as a
/// path below dir.
std::string firstFile(const std::string& dir, const std::string& sub, const std::string& other = "") {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir + "/" + sub))
        if (entry.is_regular_file() && fs::relative(entry.path(), dir).string() != other)
            files.push_back(fs::relative(entry.path(), dir).string());
    std::ranges::sort(files);
    return files.empty() ? "" : files.front();
}

std::string size(const std::string& arch, const std::string& file) {
    return std::to_string(fs::file_size(arch + "/" + file));
}

/// The first keeps line of the manifest: the history and its deltas.
std::pair<std::string, Lines> firstKeeps(const std::string& arch) {
    std::istringstream lines(readText(arch + "/PELOarchive.manifest"));
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("# keeps ")) {
            std::istringstream words(line.substr(8));
            std::string history;
            Lines sids;
            words >> history;
            for (std::string sid; words >> sid;)
                sids.push_back(sid);
            return {history, sids};
        }
    return {};
}

std::string joined(Lines::const_iterator word, Lines::const_iterator end) {
    std::string text;
    for (; word != end; ++word)
        text += (text.empty() ? "" : " ") + *word;
    return text;
}

/// Takes the newest kept delta from the first trimmed history with rmdel;
/// the problem lines of its file and of its history.
std::pair<std::string, std::string> removeKeptDelta(const std::string& arch, const std::string& vcBin) {
    const auto [history, kept] = firstKeeps(arch);
    const std::string was = size(arch, history);
    EXPECT_EQ(capture(shellQuote(vcBin + "/rmdel") + " -r" + kept.front() + " " + shellQuote(arch + "/" + history) +
                      " 2>&1; echo status=$?"),
              "status=0\n")
        << history;
    return {history + ": size " + size(arch, history) + ", manifest says " + was,
            history + ": keeps " + joined(kept.begin(), kept.end()) + ", prs lists " +
                joined(kept.begin() + 1, kept.end())};
}

/// The count of the name in the information file's counts section; a
/// count of nothing fails the case, which needs rows to change.
long countOf(const std::string& arch, const std::string& name) {
    const std::string info = readText(arch + "/PELOarchive.info");
    const std::size_t at = info.find("\n" + name + " ", info.find("PELO Objects Archived"));
    const long count = at == std::string::npos ? 0 : std::stol(info.substr(info.find("= ", at) + 2));
    EXPECT_GT(count, 0) << name;
    return count;
}

void rewrite(const std::string& path, const std::function<void(std::string&)>& change) {
    std::string text = readText(path);
    change(text);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

constexpr const char* script = "PELOarchive.dbData";

/// Changes the populate script, then gives the manifest's SHA-256 and size
/// lines of it its content now, so that only the reload comparison can tell.
void editScript(const std::string& arch, const std::function<void(std::string&)>& change) {
    rewrite(arch + "/" + script, change);
    const std::string content = readText(arch + "/" + script), file = script;
    rewrite(arch + "/PELOarchive.manifest", [&](std::string& text) {
        std::istringstream lines(text);
        text.clear();
        for (std::string line; std::getline(lines, line);) {
            if (line.size() == 66 + file.size() && line.ends_with("  " + file))
                line = sha256Hex(content) + "  " + file;
            else if (line.starts_with("# size ") && line.ends_with(" " + file))
                line = "# size " + std::to_string(content.size()) + " " + file;
            text += line + "\n";
        }
    });
}

/// Changes the first letter of the first Path name that begins with one;
/// the problem line the comparison gives for it.
std::string editPathName(const std::string& arch) {
    std::string id;
    editScript(arch, [&](std::string& text) {
        const std::string insert = "insert into Path values (";
        for (std::size_t at = text.find(insert); at != std::string::npos; at = text.find(insert, at + 1)) {
            const std::size_t name = text.find(",'", at) + 2;
            if (std::isalpha(static_cast<unsigned char>(text[name])) == 0)
                continue;
            id = text.substr(at + insert.size(), name - 2 - at - insert.size());
            text[name] = text[name] == 'X' ? 'Y' : 'X';
            return;
        }
    });
    EXPECT_FALSE(id.empty()) << "no Path name to edit";
    return "reload: PATH ID=" + id + ": NAME differs";
}

/// Puts statements before the script's first Tracks row; their first line.
int insertBeforeTracks(const std::string& arch, const std::string& statements) {
    int line = 0;
    editScript(arch, [&](std::string& text) {
        const std::size_t at = text.find("insert into Tracks values (");
        text.insert(at, statements);
        line = int(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n')) + 1;
    });
    return line;
}

std::string scriptLine(int line, const std::string& reason) {
    return "reload: PELOarchive.dbData line " + std::to_string(line) + ": " + reason;
}

struct Corruption {
    const char* name;
    /// Corrupts the archive (arch) and gives the problem lines it expects,
    /// in the order the checks run.
    std::function<Lines(const std::string& arch, const std::string& vcBin)> apply;
    bool sha256sumFails;
};

const Corruption corruptions[] = {
    // A line of the manifest, then each file it names, then the histories.
    {"FilesDifferFromTheManifest",
     [](const std::string& arch, const std::string& vcBin) {
         const std::string manifest = arch + "/PELOarchive.manifest";
         Lines found{"PELOarchive.manifest: line " + std::to_string(std::ranges::count(readText(manifest), '\n') + 1) +
                     " not understood"};
         std::ofstream(manifest, std::ios::app) << "not a manifest line\n";
         const std::string was = size(arch, script);
         rewrite(arch + "/" + script, [](std::string& text) { text.resize(text.size() / 2); });
         found.push_back(std::string(script) + ": size " + size(arch, script) + ", manifest says " + was);
         const std::string map = firstFile(arch, "maps");
         fs::remove(arch + "/" + map);
         found.push_back(map + ": in the manifest, missing");
         // A byte of another history's last line, the body's end: the
         // delta table prs reads is untouched.
         const std::string history = firstKeeps(arch).first;
         const std::string changed = firstFile(arch, "vc", history);
         rewrite(arch + "/" + changed, [](std::string& text) { text[text.size() - 2] ^= 0x20; });
         const auto [sizeLine, keepsLine] = removeKeptDelta(arch, vcBin);
         Lines files{sizeLine, changed + ": SHA-256 differs"};
         if (changed < history)
             std::ranges::reverse(files);
         found.insert(found.end(), files.begin(), files.end());
         found.push_back(keepsLine);
         return found;
     },
     true},
    // sha256sum passes what only --verify can tell: a file outside the
    // archive (which it neither reads nor gives a tool), a stray, a count,
    // and a script whose manifest lines were fixed up to the edit.
    {"OnlyTheVerifierTells",
     [](const std::string& arch, const std::string&) {
         std::ofstream(arch + "/../outside") << "outside\n";
         std::ofstream(arch + "/PELOarchive.manifest", std::ios::app)
             << sha256Hex("outside\n") << "  ../outside\n# size 8 ../outside\n# keeps ../outside 1.1\n";
         std::ofstream(arch + "/maps/stray") << "not archived\n";
         const long tracks = countOf(arch, "Tracks");
         rewrite(arch + "/PELOarchive.info", [&](std::string& text) {
             const std::string line = "\nTracks           = " + std::to_string(tracks) + "\n";
             text.replace(text.find(line), line.size(), "\nTracks           = " + std::to_string(tracks + 1) + "\n");
         });
         std::string id;
         editScript(arch, [&](std::string& text) {
             const std::size_t at = text.find("insert into Tracks values (");
             id = text.substr(at + 27, text.find(',', at) - at - 27);
             text.erase(at, text.find(";\n", at) + 2 - at);
         });
         const int line = insertBeforeTracks(arch, "attach database 'x.db' as x;\ndelete from Tracks;\n");
         const std::string edited = editPathName(arch);
         return Lines{"../outside: cannot be read: " + std::string(std::strerror(EXDEV)),
                      "maps/stray: not in the manifest",
                      "counts: Tracks " + std::to_string(tracks + 1) + " in the information file, " +
                          std::to_string(tracks) + " in the row copy",
                      scriptLine(line, "not an insert; not run"),
                      scriptLine(line + 1, "not an insert; not run"),
                      "reload: TRACKS: " + std::to_string(tracks - 1) + " rows from the script, " +
                          std::to_string(tracks) + " in the row copy",
                      "reload: TRACKS ID=" + id + ": not in the script",
                      edited};
     },
     false},
    // Were it run, the marker would be a file the manifest does not name.
    {"ScriptHereDocumentRunsACommand",
     [](const std::string& arch, const std::string&) {
         const int line = insertBeforeTracks(arch, "insert into Path values (0,'`touch " + arch + "/marker`');\n");
         return Lines{scriptLine(line, "an unescaped back quote: the shell would run the command it opens")};
     },
     false},
};

// One release archive with removal of an SCCS demo family serves every
// case: the untouched archive passes sha256sum -c, a reader of the manifest
// that shares no code with its writer, with one line for each file but the
// manifest and the information file, and it passes --verify, which counts
// the same; each corruption, made on a copy, is named by exactly its own
// problem lines.
TEST(VerifyTest, NamesExactlyEachCorruption) {
    const std::string root = scratchDir() + "/verify", arch = root + "/arch";
    const BuiltFamily family = buildFamily(root + "/family", "--size=demo --db=informix --vc=sccs");
    const std::string vcBin = family.env.at("PELO_VCBIN");
    fs::create_directories(arch);
    const std::string output = runArchive(family, "2\n2\nrel1\n2\n2\n1\n" + arch + "\n");
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    ASSERT_FALSE(firstKeeps(arch).first.empty()) << "no trimmed history to check";
    const std::string check =
        capture("cd " + shellQuote(arch) + " && sha256sum --strict -c PELOarchive.manifest 2>&1; echo status=$?");
    EXPECT_TRUE(check.ends_with("status=0\n")) << check;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(arch))
        files += entry.is_regular_file() && entry.path().filename() != "PELOarchive.manifest" &&
                 entry.path().filename() != "PELOarchive.info";
    EXPECT_EQ(std::ranges::count(check, '\n'), std::ptrdiff_t(files) + 1) << check;
    EXPECT_EQ(verifyArchive(vcBin, arch),
              "peloarchive --verify: " + arch + ": verified, " + std::to_string(files) + " files\nstatus=0\n");
    EXPECT_EQ(verifyArchive("", arch), "histories: not checked, PELO_VCBIN is not set\npeloarchive --verify: " + arch +
                                    ": 1 problem\nstatus=1\n");

    for (const Corruption& corruption : corruptions) {
        SCOPED_TRACE(corruption.name);
        const std::string copy = root + "/" + corruption.name;
        fs::copy(arch, copy, fs::copy_options::recursive);
        const Lines expected = corruption.apply(copy, vcBin);
        std::string wanted;
        for (const std::string& line : expected)
            wanted += line + "\n";
        wanted += "peloarchive --verify: " + copy + ": " + std::to_string(expected.size()) + " problem" +
                  (expected.size() == 1 ? "" : "s") + "\nstatus=1\n";
        EXPECT_EQ(verifyArchive(vcBin, copy), wanted);
        EXPECT_EQ(capture("cd " + shellQuote(copy) +
                          " && sha256sum --quiet --strict -c PELOarchive.manifest >/dev/null 2>&1; echo $?") != "0\n",
                  corruption.sha256sumFails);
        EXPECT_FALSE(fs::exists(copy + "/marker"));
    }
}

}  // namespace
}  // namespace pelo
