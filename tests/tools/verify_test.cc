// peloarchive --verify on real archives: the untouched archive passes, as
// sha256sum -c does, and each corruption is named by exactly its own
// problem lines, with status 1.  The runs have no login, family or
// database: only PATH and PELO_VCBIN.
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
#include "tools/removedObjects.h"
#include "tools/shortDevice.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using namespace pelo::testing;
using Lines = std::vector<std::string>;

/// Runs --verify with nothing of the family but its tools (and TMPDIR
/// when given); the output ends with "status=N".
std::string verify(const std::string& vcBin, const std::string& path, const std::string& tmp = "/tmp") {
    return capture("env -i PATH=/usr/bin:/bin TMPDIR=" + shellQuote(tmp) + " PELO_VCBIN=" + shellQuote(vcBin) + " " +
                   shellQuote(PELO_BINARY_DIR "/src/peloarchive") + " --verify " + shellQuote(path) +
                   " 2>&1; echo status=$?");
}

bool sha256sumPasses(const std::string& arch) {
    return capture("cd " + shellQuote(arch) + " && sha256sum --quiet --strict -c PELOarchive.manifest >/dev/null 2>&1; echo $?") ==
           "0\n";
}

/// The first regular file below dir/sub, by path order, as a path below dir.
std::string firstFile(const std::string& dir, const std::string& sub) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir + "/" + sub))
        if (entry.is_regular_file())
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

std::string joined(const Lines& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
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

/// Gives the manifest's SHA-256 and size lines of the file its content
/// now, so that only the reload comparison can tell.
void fixManifestLines(const std::string& arch, const std::string& file) {
    const std::string content = readText(arch + "/" + file);
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

constexpr const char* script = "PELOarchive.dbData";

/// Changes the populate script and fixes up its manifest lines.
void editScript(const std::string& arch, const std::function<void(std::string&)>& change) {
    rewrite(arch + "/" + script, change);
    fixManifestLines(arch, script);
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

/// A Path value that asks the shell to run a command; the line the
/// script's check gives for it.
Lines commandInScript(const std::string& arch, const std::string& command, const std::string& what) {
    const int line = insertBeforeTracks(arch, "insert into Path values (0,'" + command + "');\n");
    return Lines{scriptLine(line, what + ": the shell would run the command it opens")};
}

struct Corruption {
    const char* name;
    /// Corrupts the archive (arch) and gives the problem lines it expects.
    std::function<Lines(const std::string& arch, const std::string& vcBin)> apply;
    bool sha256sumFails;
};

void PrintTo(const Corruption& c, std::ostream* out) { *out << c.name; }

const Corruption corruptions[] = {
    {"HistoryByteChanged",
     [](const std::string& arch, const std::string&) {
         // A byte of the last line, the body's end: the delta table prs
         // reads is untouched.
         const std::string history = firstFile(arch, "vc");
         rewrite(arch + "/" + history, [](std::string& text) { text[text.size() - 2] ^= 0x20; });
         return Lines{history + ": SHA-256 differs"};
     },
     true},
    {"ScriptTruncated",
     [](const std::string& arch, const std::string&) {
         const std::string was = size(arch, "PELOarchive.dbData");
         rewrite(arch + "/PELOarchive.dbData", [](std::string& text) { text.resize(text.size() / 2); });
         return Lines{"PELOarchive.dbData: size " + size(arch, "PELOarchive.dbData") + ", manifest says " + was};
     },
     true},
    {"MapDeleted",
     [](const std::string& arch, const std::string&) {
         const std::string map = firstFile(arch, "maps");
         fs::remove(arch + "/" + map);
         return Lines{map + ": in the manifest, missing"};
     },
     true},
    {"StrayFileAdded",
     [](const std::string& arch, const std::string&) {
         std::ofstream(arch + "/maps/stray") << "not archived\n";
         return Lines{"maps/stray: not in the manifest"};
     },
     false},
    {"DeltaRemovedWithTheTool",
     [](const std::string& arch, const std::string& vcBin) {
         const auto [history, kept] = firstKeeps(arch);
         const std::string was = size(arch, history);
         const std::string removed = capture(shellQuote(vcBin + "/rmdel") + " -r" + kept.front() + " " +
                                             shellQuote(arch + "/" + history) + " 2>&1; echo status=$?");
         EXPECT_EQ(removed, "status=0\n") << history;
         const Lines left(kept.begin() + 1, kept.end());
         return Lines{history + ": size " + size(arch, history) + ", manifest says " + was,
                      history + ": keeps " + joined(kept) + ", prs lists " + joined(left)};
     },
     true},
    {"CountChanged",
     [](const std::string& arch, const std::string&) {
         const long tracks = countOf(arch, "Tracks");
         rewrite(arch + "/PELOarchive.info", [&](std::string& text) {
             const std::string line = "\nTracks           = " + std::to_string(tracks) + "\n";
             text.replace(text.find(line), line.size(), "\nTracks           = " + std::to_string(tracks + 1) + "\n");
         });
         return Lines{"counts: Tracks " + std::to_string(tracks + 1) + " in the information file, " +
                      std::to_string(tracks) + " in the row copy"};
     },
     false},
    {"RowDeletedFromTheCopy",
     [](const std::string& arch, const std::string&) {
         const long tracks = countOf(arch, "Tracks");
         const std::string rows = arch + "/PELOarchive.rows.db", was = size(arch, "PELOarchive.rows.db");
         EXPECT_EQ(capture("sqlite3 " + shellQuote(rows) +
                           " 'DELETE FROM TRACKS WHERE rowid = (SELECT min(rowid) FROM TRACKS)' 2>&1; echo status=$?"),
                   "status=0\n");
         const std::string now = size(arch, "PELOarchive.rows.db");
         return Lines{"PELOarchive.rows.db: " + (now == was ? "SHA-256 differs" : "size " + now + ", manifest says " + was),
                      "counts: Tracks " + std::to_string(tracks) + " in the information file, " +
                          std::to_string(tracks - 1) + " in the row copy"};
     },
     true},
    {"ManifestSizeEdited",
     [](const std::string& arch, const std::string&) {
         const std::string map = firstFile(arch, "maps");
         const std::string line = "# size " + size(arch, map) + " " + map + "\n";
         rewrite(arch + "/PELOarchive.manifest", [&](std::string& text) {
             text.replace(text.find(line), line.size(), "# size 1" + size(arch, map) + " " + map + "\n");
         });
         return Lines{map + ": size " + size(arch, map) + ", manifest says 1" + size(arch, map)};
     },
     false},
    {"ManifestDigestEdited",
     [](const std::string& arch, const std::string&) {
         const std::string path = arch + "/PELOarchive.manifest";
         std::string text = readText(path);
         const std::size_t line = text.find("  PELOarchive.dbData\n") - 64;
         text[line] = text[line] == '0' ? '1' : '0';
         std::ofstream(path, std::ios::trunc) << text;
         return Lines{"PELOarchive.dbData: SHA-256 differs"};
     },
     true},
    {"ManifestNamesAFileOutside",
     [](const std::string& arch, const std::string&) {
         // sha256sum reads the file and finds it good; --verify reads
         // nothing outside the archive, and starts no tool on it.
         std::ofstream(arch + "/../outside") << "outside\n";
         std::ofstream(arch + "/PELOarchive.manifest", std::ios::app)
             << sha256Hex("outside\n") << "  ../outside\n# size 8 ../outside\n# keeps ../outside 1.1\n";
         return Lines{"../outside: cannot be read: " + std::string(std::strerror(EXDEV))};
     },
     false},
    {"ManifestLineGarbled",
     [](const std::string& arch, const std::string&) {
         const std::string path = arch + "/PELOarchive.manifest";
         std::string text = readText(path);
         const std::size_t lines = std::ranges::count(text, '\n');
         std::ofstream(path, std::ios::trunc) << text << "not a manifest line\n";
         return Lines{"PELOarchive.manifest: line " + std::to_string(lines + 1) + " not understood"};
     },
     true},  // sha256sum --strict refuses a line it cannot read
    // The script's manifest lines are fixed up: only the reload can tell.
    {"ScriptValueEdited", [](const std::string& arch, const std::string&) { return Lines{editPathName(arch)}; }, false},
    {"ScriptRowDeleted",
     [](const std::string& arch, const std::string&) {
         const long tracks = countOf(arch, "Tracks");
         std::string id;
         editScript(arch, [&](std::string& text) {
             const std::size_t at = text.find("insert into Tracks values (");
             id = text.substr(at + 27, text.find(',', at) - at - 27);
             text.erase(at, text.find(";\n", at) + 2 - at);
         });
         return Lines{"reload: TRACKS: " + std::to_string(tracks - 1) + " rows from the script, " +
                          std::to_string(tracks) + " in the row copy",
                      "reload: TRACKS ID=" + id + ": not in the script"};
     },
     false},
    {"ScriptStatementNotAnInsert",
     [](const std::string& arch, const std::string&) {
         const int line = insertBeforeTracks(arch, "attach database 'x.db' as x;\ndelete from Tracks;\n");
         return Lines{scriptLine(line, "not an insert; not run"), scriptLine(line + 1, "not an insert; not run")};
     },
     false},
    // Were either run, the marker would be a file the manifest does not name.
    {"ScriptHereDocumentRunsACommand",
     [](const std::string& arch, const std::string&) {
         return commandInScript(arch, "`touch " + arch + "/marker`", "an unescaped back quote");
     },
     false},
    {"ScriptHereDocumentSubstitutes",
     [](const std::string& arch, const std::string&) {
         return commandInScript(arch, "$(touch " + arch + "/marker)", "an unescaped \"$(\"");
     },
     false},
};

/// One release archive with removal of an SCCS demo family, shared by
/// every case, each of which corrupts a copy of it.
class VerifyTest : public ::testing::TestWithParam<Corruption> {
protected:
    static void SetUpTestSuite() {
        root_ = scratchDir() + "/verify";
        family_ = new BuiltFamily(buildFamily(root_ + "/family", "--size=demo --db=informix --vc=sccs"));
        fs::create_directories(root_ + "/arch");
        const std::string output = runArchive(*family_, "2\n2\nrel1\n2\n2\n1\n" + root_ + "/arch\n");
        ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    }
    static void TearDownTestSuite() {
        delete family_;
        family_ = nullptr;
    }
    static std::string vcBin() { return family_->env.at("PELO_VCBIN"); }
    static std::string arch() { return root_ + "/arch"; }

    static inline std::string root_;
    static inline BuiltFamily* family_ = nullptr;
};

TEST_F(VerifyTest, TheUntouchedArchivePassesAsSha256sumDoes) {
    ASSERT_TRUE(sha256sumPasses(arch()));
    ASSERT_FALSE(firstKeeps(arch()).first.empty()) << "no trimmed history to check";
    std::ifstream manifest(arch() + "/PELOarchive.manifest");
    std::size_t files = 0;
    for (std::string line; std::getline(manifest, line);)
        files += line.starts_with('#') ? 0 : 1;
    EXPECT_EQ(verify(vcBin(), arch()),
              "peloarchive --verify: " + arch() + ": verified, " + std::to_string(files) + " files\nstatus=0\n");
}

TEST_F(VerifyTest, WithoutTheToolsTheHistoriesAreAProblem) {
    EXPECT_EQ(verify("", arch()), "histories: not checked, PELO_VCBIN is not set\npeloarchive --verify: " + arch() +
                                      ": 1 problem\nstatus=1\n");
}

TEST_P(VerifyTest, NamesExactlyTheCorruption) {
    const std::string copy = root_ + "/" + GetParam().name;
    fs::remove_all(copy);
    fs::copy(arch(), copy, fs::copy_options::recursive);
    const Lines expected = GetParam().apply(copy, vcBin());
    std::string wanted;
    for (const std::string& line : expected)
        wanted += line + "\n";
    wanted += "peloarchive --verify: " + copy + ": " + std::to_string(expected.size()) + " problem" +
              (expected.size() == 1 ? "" : "s") + "\nstatus=1\n";
    EXPECT_EQ(verify(vcBin(), copy), wanted);
    EXPECT_EQ(sha256sumPasses(copy), !GetParam().sha256sumFails);
    EXPECT_FALSE(fs::exists(copy + "/marker"));
}

INSTANTIATE_TEST_SUITE_P(Archive, VerifyTest, ::testing::ValuesIn(corruptions),
                         [](const auto& info) { return std::string(info.param.name); });

// Every dialect's script, and its export or load files, reload to the row
// copy's rows: the untouched archive passes, and a name edited in the
// script is found.  The Informix case is the hostile family's.
class VerifyDialectTest : public ::testing::TestWithParam<const char*> {};

TEST_P(VerifyDialectTest, TheScriptReloadsToTheRowCopy) {
    const std::string product = GetParam();
    const bool hostile = product == "informix";
    const std::string root = scratchDir() + "/verify-" + product;
    const BuiltFamily family =
        buildFamily(root + "/family", "--size=tiny --db=" + product + (hostile ? " --hostile" : ""));
    const std::string arch = root + "/arch", vcBin = family.env.at("PELO_VCBIN");
    fs::create_directories(arch);
    const std::string release = hostile ? family.requests.at("releaseArchive") : "rel1";
    const std::string output = runArchive(family, "2\n2\n" + release + "\n2\n2\n1\n" + arch + "\n");
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    const std::string passed = verify(vcBin, arch);
    EXPECT_TRUE(passed.ends_with(" files\nstatus=0\n")) << passed;

    const std::string edited = editPathName(arch);
    EXPECT_EQ(verify(vcBin, arch), edited + "\npeloarchive --verify: " + arch + ": 1 problem\nstatus=1\n");
}

INSTANTIATE_TEST_SUITE_P(Archive, VerifyDialectTest, ::testing::Values("oracle", "sybase", "dizoz", "informix"),
                         [](const auto& info) { return std::string(info.param); });

// vlog's revisions of a PVCS family's trimmed histories are what the
// manifest records, and a revision deleted with vdel is named.
TEST(VerifyPvcsTest, TheRevisionsVlogListsAreChecked) {
    const std::string root = scratchDir() + "/verify-pvcs";
    const BuiltFamily family = buildFamily(root + "/family", "--size=demo --db=informix --vc=pvcs");
    const std::string arch = root + "/arch";
    fs::create_directories(arch);
    const std::string output = runArchive(family, "2\n2\nrel1\n2\n2\n1\n" + arch + "\n");
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    const std::string vcBin = family.env.at("PELO_VCBIN");
    const std::string passed = verify(vcBin, arch);
    EXPECT_TRUE(passed.ends_with(" files\nstatus=0\n")) << passed;

    const auto [history, kept] = firstKeeps(arch);
    ASSERT_GE(kept.size(), 2u) << history;
    const std::string was = size(arch, history);
    EXPECT_EQ(capture(shellQuote(vcBin + "/vdel") + " -q -y -r" + kept.front() + " " + shellQuote(arch + "/" + history) +
                      " 2>&1; echo status=$?"),
              "status=0\n");
    const Lines left(kept.begin() + 1, kept.end());
    EXPECT_EQ(verify(vcBin, arch), history + ": size " + size(arch, history) + ", manifest says " + was + "\n" +
                                       history + ": keeps " + joined(kept) + ", vlog lists " + joined(left) +
                                       "\npeloarchive --verify: " + arch + ": 2 problems\nstatus=1\n");
}

// A device archive in a regular file is read with cpio into a scratch
// directory, which goes; the medium cut short is refused.
TEST(VerifyDeviceTest, ACpioArchiveInAFileVerifiesAndACutOneDoesNot) {
    const std::string root = scratchDir() + "/verify-device";
    const BuiltFamily family = buildFamily(root + "/family", "--size=tiny --db=oracle");
    const ShortDevice device;
    const std::string output = runArchive(family, "2\n2\nrel1\n2\n2\n2\n" + device.path() + "\n1\n1\n");
    ASSERT_TRUE(output.ends_with("status=0\n")) << output;
    const std::string tmp = root + "/tmp";
    fs::create_directories(tmp);
    const std::string vcBin = family.env.at("PELO_VCBIN");
    const std::string whole = verify(vcBin, device.path(), tmp);
    EXPECT_NE(whole.find("peloarchive --verify: " + device.path() + ": verified, "), std::string::npos) << whole;
    EXPECT_TRUE(whole.ends_with(" files\nstatus=0\n")) << whole;
    EXPECT_TRUE(fs::is_empty(tmp)) << "the scratch directory was left";

    fs::resize_file(device.path(), fs::file_size(device.path()) / 2);
    const std::string cut = verify(vcBin, device.path(), tmp);
    EXPECT_TRUE(cut.ends_with("status=1\n")) << cut;
    EXPECT_NE(cut.find("peloarchive --verify: " + device.path() + ": "), std::string::npos) << cut;
    EXPECT_EQ(cut.find("verified"), std::string::npos) << cut;
    EXPECT_TRUE(fs::is_empty(tmp)) << "the scratch directory was left";
}

TEST(VerifyUsageTest, AnyOtherOptionOrNoPathIsAUsageError) {
    const std::string binary = shellQuote(PELO_BINARY_DIR "/src/peloarchive");
    EXPECT_EQ(capture("env -i " + binary + " --verify /tmp --to /tmp 2>&1; echo status=$?"),
              "0012-020 peloarchive: --verify and --to cannot be given together; see peloarchive --help.\nstatus=2\n");
    EXPECT_EQ(capture("env -i " + binary + " --verify 2>&1; echo status=$?"),
              "0012-019 peloarchive: --verify needs a value; see peloarchive --help.\nstatus=2\n");
}

}  // namespace
}  // namespace pelo
