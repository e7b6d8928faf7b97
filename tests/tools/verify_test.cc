// peloarchive --verify on real archives: the untouched archive passes, as
// sha256sum -c does, and each corruption is named by exactly its own
// problem lines, with status 1.  The runs have no login, family or
// database: only PATH and PELO_VCBIN.
#include <gtest/gtest.h>

#include <algorithm>
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
}

INSTANTIATE_TEST_SUITE_P(Archive, VerifyTest, ::testing::ValuesIn(corruptions),
                         [](const auto& info) { return std::string(info.param.name); });

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
