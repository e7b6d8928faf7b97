// A scripted run is the typed run of the same archive (a check-only run's
// output is the scenarios' golden either way).  Each case builds a
// family, keeps a copy of it, archives it with the answers typed, puts the
// copy back and archives it again with the same answers as options and
// standard input from /dev/null.  Both runs must end with the same status,
// print the same after the questions, write the same files into the
// archive (the medium's, for a device) and leave the same family: its
// rows and every file of its home.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "support/commandLine.h"
#include "support/msg.h"
#include "tools/familyTables.h"
#include "tools/removedObjects.h"
#include "tools/shortDevice.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using namespace pelo::testing;

struct ScriptedCase {
    const char* name;
    const char* family;  ///< mkfamily's options after --size=tiny
    std::string typed;   ///< @ARCH@, @DEVICE@ and @WORK@ stand for the scratch places
    std::vector<std::string> options;
};

void PrintTo(const ScriptedCase& c, std::ostream* out) { *out << c.name; }

const ScriptedCase scriptedCases[] = {
    {"ReleaseToFileSystemWithRemoval", "--db=informix", "2\n2\nrel1\n2\n2\n1\n@ARCH@\n",
     {"--releases", "rel1", "--to", "@ARCH@", "--remove", "--yes-remove"}},
    {"LevelToDeviceWithRemoval", "--db=oracle --vc=pvcs", "2\n1\nr2lvl02\nrel2\n2\n2\n2\n@DEVICE@\n1\n1\n",
     {"--level", "r2lvl02", "--release", "rel2", "--device", "@DEVICE@", "--continue", "--remove", "--yes-remove"}},
    {"ReleaseToDeviceThroughWorkDir", "--db=sybase", "2\n2\nrel1\n1\n2\n@DEVICE@\n2\n@WORK@\n1\n",
     {"--releases", "rel1", "--device", "@DEVICE@", "--workdir", "@WORK@", "--continue"}},
};

// What a run leaves: its status, what it printed once the questions were
// over, the archive's files and the family.
struct RunResult {
    int status = -1;
    std::string output;
    std::map<std::string, std::string> archive;
    std::map<std::string, std::string> home;
    Tables tables;
};

class ScriptedRunTest : public ::testing::TestWithParam<ScriptedCase> {
protected:
    void SetUp() override {
        login_ = std::make_unique<dbtest::ScratchDatabase>(dbtest::Backend::sqlite);
        if (!login_->unavailable().empty())
            GTEST_SKIP() << login_->unavailable();
        ASSERT_FALSE(device_.dir().empty());
        short_ = device_.dir();
        root_ = short_ / "family";
        family_ = buildFamily(root_.string(), std::string("--size=tiny ") + GetParam().family);
        ASSERT_TRUE(family_.env.contains("PELO_DB"));
        ASSERT_EQ(std::system(("cp -a " + shellQuote(root_.string()) + " " + shellQuote(root_.string() + ".kept")).c_str()), 0);
    }

    std::string fill(std::string text) const {
        for (const auto& [mark, place] : {std::pair<std::string, fs::path>{"@ARCH@", short_ / "arch"},
                                          {"@DEVICE@", short_ / "dev/r0"}, {"@WORK@", short_ / "work"}})
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
                text.replace(at, mark.size(), place.string());
        return text;
    }

    // Puts the family back as it was built, with empty places to archive to.
    void freshFamily() {
        for (const char* place : {"family", "arch", "work", "dev", "medium"})
            fs::remove_all(short_ / place);
        ASSERT_EQ(std::system(("cp -a " + shellQuote(root_.string() + ".kept") + " " + shellQuote(root_.string())).c_str()), 0);
        for (const char* place : {"arch", "work", "dev"})
            fs::create_directories(short_ / place);
    }

    RunResult run(const std::string& answers, const std::vector<std::string>& options) {
        RunResult result;
        std::string command = archiveCommand(family_);
        for (const std::string& option : options)
            command += " " + shellQuote(fill(option));
        const fs::path input = answers.empty() ? fs::path("/dev/null") : short_ / "answers";
        if (!answers.empty())
            std::ofstream(input) << fill(answers);
        const fs::path out = short_ / "stdout";
        const int status = std::system((command + " <" + shellQuote(input.string()) + " >" + shellQuote(out.string()) +
                                        " 2>/dev/null").c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.output = readText(out.string());
        const fs::path device = short_ / "dev/r0";
        if (fs::exists(device)) {
            fs::create_directories(short_ / "medium");
            EXPECT_EQ(std::system(("cd " + shellQuote((short_ / "medium").string()) +
                                   " && cpio -idm --quiet --no-absolute-filenames <" + shellQuote(device.string()) +
                                   " 2>/dev/null").c_str()),
                      0);
            result.archive = readFiles((short_ / "medium").string());
        } else {
            result.archive = readFiles((short_ / "arch").string());
        }
        // The information file's date is the only thing two runs may differ in.
        for (auto& [name, text] : result.archive)
            if (name.ends_with("PELOarchive.info"))
                if (const auto at = text.find(msgDefault(1441)); at != std::string::npos)
                    text.erase(at, text.find('\n', at) - at);
        result.home = readFiles(family_.home);
        result.home.erase("family.db");
        result.tables = readTables(family_.env.at("PELO_DB"), *login_);
        return result;
    }

    std::unique_ptr<dbtest::ScratchDatabase> login_;
    /// Its directory holds the family and the places it archives to.
    const ShortDevice device_;
    fs::path short_, root_;
    BuiltFamily family_;
};

// The typed run's output without the questions: the prompt after cpio is
// the one question asked once the run is under way.
std::string afterTheQuestions(std::string output) {
    for (int prompt : {1487, 1488})
        for (std::size_t at; (at = output.find(msgDefault(prompt))) != std::string::npos;)
            output.erase(at, std::string(msgDefault(prompt)).size());
    return output;
}

TEST_P(ScriptedRunTest, SameAsTyped) {
    const ScriptedCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(freshFamily());
    const RunResult typed = run(c.typed, {});
    ASSERT_EQ(typed.status, 0) << typed.output;
    ASSERT_NO_FATAL_FAILURE(freshFamily());
    const RunResult scripted = run("", c.options);
    EXPECT_EQ(scripted.status, 0) << scripted.output;
    ASSERT_FALSE(scripted.output.empty());
    EXPECT_TRUE(afterTheQuestions(typed.output).ends_with(scripted.output))
        << "typed:\n" << typed.output << "\nscripted:\n" << scripted.output;
    EXPECT_EQ(scripted.output.find("Enter selection"), std::string::npos) << "a scripted run asks nothing";
    EXPECT_EQ(scripted.archive.size(), typed.archive.size());
    EXPECT_TRUE(scripted.archive == typed.archive) << "the archives differ";
    EXPECT_TRUE(scripted.home == typed.home) << "the family homes differ";
    for (const auto& [table, rows] : typed.tables)
        EXPECT_EQ(scripted.tables.at(table).rows, rows.rows) << table;
    EXPECT_GT(typed.archive.size(), 5u) << "the archive holds nothing";
}

INSTANTIATE_TEST_SUITE_P(Scripted, ScriptedRunTest, ::testing::ValuesIn(scriptedCases),
                         [](const ::testing::TestParamInfo<ScriptedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pelo
