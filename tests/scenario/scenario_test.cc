// Scenarios of the real peloarchive binary, one table of named runs.  Each
// runs it as the family login "pelofam" (through nss_wrapper, whose passwd
// file gives the current uid that name and a scratch home), feeds the
// answers on standard input and compares the whole standard output with
// the golden file of its name, the exit status and the empty standard
// error; the archive semaphore must be gone afterwards unless the scenario
// made one itself.  Golden files name the scratch directory @SCRATCH@, the
// family home @HOME@, the family @FAMILY@ and the raw device @DEVICE@;
// <name>.info holds the head of a run's archive information file, with
// @DATE@ for the time of the run (the whole file where the archive is
// complete, its head where the run stops sooner).  The device of a device archive is a
// regular file in a scratch directory short enough for the dialog's limit
// on device names; cpio's count of blocks is all a run may print on
// standard error.
//
// Runs that reach the database use a family built by mkfamily (tiny size)
// in the scratch directory: its passwd and group files, its home and the
// environment of its family.env.  Its shapes break one prerequisite rule
// each; its archive requests are the ones family.txt names.  The other runs
// stop before the database, in a made-up environment.
#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "db/client.h"
#include "support/commandLine.h"

namespace fs = std::filesystem;

namespace {

constexpr int daemonProject = 108;
constexpr int archiveProject = 109;

// Answers that lead each kind of run to the step after the dialog.
const std::string checkOnlyAnswers = "1\n1\nl1\nr1\n";
const std::string fileSystemAnswers = "2\n2\nr1 r2\n1\n1\n@SCRATCH@/arch\n";
const std::string deviceAnswers = "2\n2\nr1\n1\n2\n/dev/rmt0\n";

// The requests a family from mkfamily is shaped for: a level archive of
// r2lvl02 in rel2, a release archive of rel1.
const std::string levelCheck = "1\n1\nr2lvl02\nrel2\n";
const std::string releaseCheck = "1\n2\nrel1\n";
const std::string levelToFileSystem = "2\n1\nr2lvl02\nrel2\n1\n1\n@SCRATCH@/arch\n";
const std::string deviceRemoval = "2\n1\nr2lvl02\nrel2\n2\n2\n2\n@DEVICE@\n1\n";
const std::string deviceRemovalNoRewind = "2\n1\nr2lvl02\nrel2\n2\n2\n2\n@NRDEVICE@\n1\n";
const std::string releaseToDeviceViaWork = "2\n2\nrel1\n1\n2\n@DEVICE@\n2\n@SCRATCH@/work\n";

// Work files by name, with their permission bits.
using Listing = std::map<std::string, unsigned>;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The work files in a directory, with their permission bits.
Listing workFiles(const fs::path& dir) {
    Listing files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        struct stat status {};
        if (name.rfind("PELOarchive.", 0) == 0 && lstat(entry.path().c_str(), &status) == 0)
            files[name] = status.st_mode & 07777;
    }
    return files;
}

using Json = nlohmann::json;

struct PeloarchiveScenario;
using Step = std::function<void(PeloarchiveScenario&)>;

struct Scenario {
    const char* name;  ///< the test's name and its golden file's
    std::string answers;
    int status;
    const char* family = nullptr;  ///< mkfamily options; null: no family, a made-up environment
    std::vector<std::string> args = {};
    Step setup = {};  ///< after the family is built
    Step after = {};  ///< further checks of what the run left
    int signal = 0;   ///< sent while the run waits in its installation record
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

struct PeloarchiveScenario : ::testing::TestWithParam<Scenario> {
    void SetUp() override {
        if (std::string(NSS_WRAPPER_LIB).empty())
            GTEST_SKIP() << "libnss_wrapper is not installed";
        char pattern[] = "/tmp/pelo-scenario-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        home_ = scratch_ / "home";
        fs::create_directories(home_);
        fs::create_directories(scratch_ / "pelo/install");
        fs::create_directories(scratch_ / "arch");
        writeFile(scratch_ / "pelo/install/mkdb", "ORACLE\n");
        writeFile(scratch_ / "family.db", "");  // an empty file is an empty SQLite database
        writeFile(scratch_ / "passwd", "pelofam:x:" + std::to_string(getuid()) + ":" +
                                           std::to_string(getgid()) + ":family:" + home_.string() +
                                           ":/bin/sh\n");
        writeFile(scratch_ / "group", "pelofam:x:" + std::to_string(getgid()) + ":\n");
        env_ = {{"PATH", "/usr/bin:/bin"},
                {"LANG", "C.UTF-8"},
                {"LD_PRELOAD", NSS_WRAPPER_LIB},
                {"NSS_WRAPPER_PASSWD", (scratch_ / "passwd").string()},
                {"NSS_WRAPPER_GROUP", (scratch_ / "group").string()},
                {"PELO_HOME", (scratch_ / "pelo").string()},
                {"PELO_DB", (scratch_ / "family.db").string()},
                {"ORACLE_HOME", "/opt/oracle"},
                {"ORACLE_PASS", "secret"},
                {"PELO_VCTYPE", "sccs"}};
        // A sanitized build must not refuse nss_wrapper ahead of its runtime.
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        env_["ASAN_OPTIONS"] = asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0";
        oldMask_ = umask(022);  // the run inherits it: work-file modes are as asked, less 022
        // "/tmp/", two characters and "/dev/r0": 14 of the 15 characters a device name may have.
        for (int tries = 0; deviceDir_.empty() && tries < 4096; ++tries) {
            const char* digits = "abcdefghijklmnopqrstuvwxyz0123456789";
            const std::string dir = std::string("/tmp/") + digits[std::rand() % 36] + digits[std::rand() % 36];
            if (mkdir(dir.c_str(), 0700) == 0)
                deviceDir_ = dir;
        }
        ASSERT_FALSE(deviceDir_.empty()) << "no short scratch directory for the device";
        fs::create_directories(deviceDir_ / "dev");
    }

    fs::path device() const { return deviceDir_ / "dev/r0"; }
    // A device whose name says it does not rewind, which is never read back.
    fs::path noRewindDevice() const { return deviceDir_ / "dev/nr0"; }

    // Every file below the family home with its bytes.
    std::map<std::string, std::string> homeFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(home_))
            if (entry.is_regular_file())
                files[entry.path().string()] = readFile(entry.path());
        return files;
    }

    // The family as it is now, for a run that must leave it as it was.
    void rememberFamily() {
        databaseBefore_ = readFile(env_["PELO_DB"]);
        homeBefore_ = homeFiles();
    }

    void expectFamilyUnchanged() const {
        EXPECT_TRUE(readFile(env_.at("PELO_DB")) == databaseBefore_) << "the database changed";
        const std::map<std::string, std::string> now = homeFiles();
        for (const auto& [path, bytes] : homeBefore_)
            EXPECT_TRUE(now.contains(path) && now.at(path) == bytes) << path << " changed";
        for (const auto& [path, bytes] : now)
            EXPECT_TRUE(homeBefore_.contains(path)) << path << " appeared in the family home";
    }

    void TearDown() override {
        if (scratch_.empty())
            return;
        umask(oldMask_);
        for (int project : {daemonProject, archiveProject})
            if (int id = semaphore(project); id >= 0)
                semctl(id, 0, IPC_RMID);
        fs::remove_all(scratch_);
        if (!deviceDir_.empty())
            fs::remove_all(deviceDir_);
    }

    // The identifier of the set for the family home's key, or -1.
    int semaphore(int project) const {
        key_t key = ftok(home_.c_str(), project);
        return key == -1 ? -1 : semget(key, 1, 0);
    }

    void createSemaphore(int project) {
        ASSERT_GE(semget(ftok(home_.c_str(), project), 1, IPC_CREAT | 0600), 0);
        madeArchiveSemaphore_ |= project == archiveProject;
    }

    // The goldens' placeholders with what they stand for; the home lies
    // below the scratch directory, so it is put back first.
    std::vector<std::pair<std::string, std::string>> placeholders() const {
        return {{"@HOME@", home_.string()}, {"@NRDEVICE@", noRewindDevice().string()},
                {"@DEVICE@", device().string()}, {"@SCRATCH@", scratch_.string()}, {"@FAMILY@", "pelofam"}};
    }

    std::string substitute(std::string text) const {
        for (const auto& [name, value] : placeholders())
            text = replaceAll(text, name, value);
        return text;
    }

    // With PELO_WRITE_GOLDEN=1 a run's file, in the goldens' terms, becomes
    // the golden <name><kind>, to be read before it is committed.
    void rewriteGolden(const char* kind, std::string text) const {
        if (const char* rewrite = std::getenv("PELO_WRITE_GOLDEN"); !rewrite || std::string(rewrite) != "1")
            return;
        for (const auto& [name, value] : placeholders())
            text = replaceAll(text, value, name);
        writeFile(fs::path(GOLDEN_DIR) / (std::string(GetParam().name) + kind), text);
    }

    // A file a run made, against the golden <name><kind>.
    void expectGolden(const char* kind, const std::string& text) const {
        rewriteGolden(kind, text);
        EXPECT_EQ(text, golden(kind));
    }

    std::string golden(const char* kind) const {
        return substitute(readFile(fs::path(GOLDEN_DIR) / (std::string(GetParam().name) + kind)));
    }

    // Builds a family with mkfamily (the options choose product, kind and
    // shape) and runs as its login: its passwd and group, its home, and the
    // variables of its family.env in place of the made-up database ones.
    void useFamily(const std::string& options) {
        const fs::path root = scratch_ / "family";
        const std::string command = std::string(MKFAMILY_BINARY) + " --root='" + root.string() +
                                    "' --uid=" + std::to_string(getuid()) +
                                    " --histories-cache='" FAMILY_HISTORIES "' " + options + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        home_ = root / "home";
        for (const char* name :
             {"ORACLE_HOME", "ORACLE_PASS", "INFORMIXDIR", "SYBASE", "SYBASE_PASS", "VQL_HOME"})
            env_.erase(name);
        std::istringstream lines(readFile(root / "family.env"));
        for (std::string line; std::getline(lines, line);)  // export NAME='value'
            if (const auto eq = line.find('='); line.starts_with("export ") && eq != std::string::npos)
                env_[line.substr(7, eq - 7)] = line.substr(eq + 2, line.size() - eq - 3);
    }

    // A cpio of the scenario's own, first on the run's PATH: the script's body.
    void useCpio(const std::string& body) {
        fs::create_directories(scratch_ / "bin");
        writeFile(scratch_ / "bin/cpio", "#!/bin/sh\n" + body);
        fs::permissions(scratch_ / "bin/cpio", fs::perms::owner_all);
        env_["PATH"] = (scratch_ / "bin").string() + ":/usr/bin:/bin";
    }

    // Changes the family's database behind the utility's back.
    void runSql(const std::string& script) {
        ASSERT_EQ(pelo::sqlConnect(env_["PELO_DB"], "test", "test"), 0) << pelo::sqlca.sqlerrm;
        EXPECT_EQ(pelo::sqlExecuteScript(script), 0) << pelo::sqlca.sqlerrm;
        EXPECT_EQ(pelo::sqlCommit(), 0);
        pelo::sqlRollbackRelease();
    }

    // The information file starts with the golden head <name>.info, whose
    // @DATE@ stands for the local time of some second of the run, written
    // with the years since 1900.
    void expectInfoHead(const fs::path& info) const {
        const std::string head = golden(".info");
        std::string text = readFile(info);
        const auto at = head.find("@DATE@");
        ASSERT_NE(at, std::string::npos);
        const auto end = text.find('\n', std::min(at, text.size()));
        ASSERT_NE(end, std::string::npos) << text;
        const std::string date = text.substr(at, end - at);
        bool duringRun = false;
        for (std::time_t t = runStart_; t <= runEnd_ && !duringRun; ++t) {
            std::tm local{};
            localtime_r(&t, &local);
            char expected[64];
            std::snprintf(expected, sizeof expected, "%02d/%02d/%02d %02d:%02d:%02d", local.tm_year,
                          local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
            duringRun = date == expected;
        }
        EXPECT_TRUE(duringRun) << "date of archive: " << date;
        text.replace(at, date.size(), "@DATE@");
        rewriteGolden(".info", text);
        EXPECT_EQ(text.substr(0, head.size()), head);
    }

    // Extracts the device's cpio archive below out (absolute names made
    // relative) and returns the names it holds, in order.
    std::vector<std::string> extractMedium(const fs::path& out) const {
        fs::create_directories(out);
        const std::string medium = pelo::shellQuote(device().string());
        EXPECT_EQ(std::system(("cd " + pelo::shellQuote(out.string()) + " && cpio -idm --quiet --no-absolute-filenames <" +
                               medium + " 2>/dev/null && cpio -it --quiet <" + medium + " >names 2>/dev/null")
                                  .c_str()),
                  0);
        std::vector<std::string> names;
        std::istringstream listed(readFile(out / "names"));
        for (std::string name; std::getline(listed, name);)
            names.push_back(name);
        return names;
    }

    // Runs the binary on the answers, its output going to files in the
    // scratch directory; whileRunning gets its pid while it runs.  A run
    // that has not ended after a minute is killed.
    int run(const Scenario& scenario, const std::function<void(pid_t)>& whileRunning) {
        writeFile(scratch_ / "answers", substitute(scenario.answers));
        // No answers: standard input is /dev/null, as a script run from cron has it.
        const fs::path input = scenario.answers.empty() ? fs::path("/dev/null") : scratch_ / "answers";
        std::vector<std::string> args = {PELOARCHIVE_BINARY}, envText;
        for (const std::string& arg : scenario.args)
            args.push_back(substitute(arg));
        for (const auto& [name, value] : env_)
            envText.push_back(name + "=" + value);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        for (auto& e : envText)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        runStart_ = std::time(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
            dup2(open(input.c_str(), O_RDONLY | O_CLOEXEC), 0);
            dup2(open((scratch_ / "stdout").c_str(), flags, 0600), 1);
            dup2(open((scratch_ / "stderr").c_str(), flags, 0600), 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (whileRunning)
            whileRunning(pid);
        int status = 0;
        for (int tick = 0; waitpid(pid, &status, WNOHANG) == 0; ++tick) {
            if (tick == 6000) {
                ADD_FAILURE() << "peloarchive did not finish";
                kill(pid, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        runEnd_ = std::time(nullptr);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Sends the signal while the program is blocked reading its
    // installation record, which is a FIFO here: once the FIFO can be
    // opened for writing, the program is past the handlers and waits in
    // the record; closing the FIFO after the signal lets it go on either
    // way.
    std::function<void(pid_t)> signalInRecord(int signo) {
        const fs::path record = scratch_ / "pelo/install/mkdb";
        fs::remove(record);
        EXPECT_EQ(mkfifo(record.c_str(), 0600), 0);
        return [this, record, signo](pid_t pid) {
            int fd = -1;
            for (int tries = 0; tries < 3000 && fd < 0; ++tries) {
                fd = open(record.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ASSERT_GE(fd, 0) << "the program never opened its installation record";
            EXPECT_GE(semaphore(archiveProject), 0) << "the archive semaphore is not held";
            kill(pid, signo);
            close(fd);
        };
    }

    // The summary at @SCRATCH@/summary.json against the golden <name>.json,
    // where its times and sizes, which vary with the machine and with the
    // user who built the family, read as their kind.  Returns it as written.
    Json summary() const {
        const std::string text = readFile(scratch_ / "summary.json");
        const Json s = Json::parse(text, nullptr, false);
        EXPECT_FALSE(s.is_discarded()) << "no summary: " << text;
        for (const auto& entry : fs::directory_iterator(scratch_))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".summary.json")) << "a temporary is left";
        if (s.is_discarded())
            return s;
        Json stable = s;
        for (const char* measured : {"bytes", "estimate"})
            for (Json& value : stable[measured])
                value = value.type_name();
        for (Json& phase : stable["phases"])
            phase["seconds"] = phase["seconds"].type_name();
        stable["rowCopySeconds"] = stable["rowCopySeconds"].type_name();
        expectGolden(".json", stable.dump(2) + "\n");
        return s;
    }

    // A run refused before anything: no file, no semaphore, the family's
    // database as it was.
    void expectNothingTouched() const {
        EXPECT_TRUE(fs::is_empty(scratch_ / "arch"));
        EXPECT_EQ(workFiles(home_), Listing{});
        EXPECT_EQ(readFile(scratch_ / "family.db"), "");
    }

    fs::path scratch_;
    fs::path deviceDir_;
    fs::path home_;
    std::map<std::string, std::string> env_;
    mode_t oldMask_ = 022;
    bool madeArchiveSemaphore_ = false;
    std::time_t runStart_ = 0;
    std::time_t runEnd_ = 0;
    std::string databaseBefore_;
    std::map<std::string, std::string> homeBefore_;
};

TEST_P(PeloarchiveScenario, Run) {
    const Scenario& scenario = GetParam();
    if (scenario.family != nullptr) {
        ASSERT_NO_FATAL_FAILURE(useFamily(scenario.family));
    }
    if (scenario.setup) {
        ASSERT_NO_FATAL_FAILURE(scenario.setup(*this));
    }
    const auto whileRunning = scenario.signal != 0 ? signalInRecord(scenario.signal) : nullptr;
    EXPECT_EQ(run(scenario, whileRunning), scenario.status);
    expectGolden(".out", readFile(scratch_ / "stdout"));
    // Standard error carries only cpio's count of blocks, and the database's
    // own text where a scenario has it as a golden.
    if (fs::exists(fs::path(GOLDEN_DIR) / (std::string(scenario.name) + ".err"))) {
        EXPECT_EQ(readFile(scratch_ / "stderr"), golden(".err"));
    } else {
        EXPECT_TRUE(std::regex_match(readFile(scratch_ / "stderr"), std::regex("([0-9]+ blocks\n)?")))
            << readFile(scratch_ / "stderr");
    }
    if (!madeArchiveSemaphore_) {
        EXPECT_LT(semaphore(archiveProject), 0) << "the run left the archive semaphore";
    }
    if (scenario.after)
        scenario.after(*this);
}

using T = PeloarchiveScenario;

const Scenario scenarios[] = {
    // ---- dialog ---------------------------------------------------------------
    {"ExitAtFirstMenu", "3\n", 1},
    {"EndOfInputAtFirstMenu", "", 1},
    // Fifteen two-byte characters fit the limit of 15; sixteen do not.
    {"MultibyteLevelFitsReleaseDoesNot",
     "1\n1\n" + repeat("\xc3\xa9", 15) + "\n" + repeat("\xc3\xa9", 16) + "\n", 1},
    {"EmptyReleaseLine", "1\n2\n\nr1\n", 1},
    {"ReleaseNameTooLongInList", "1\n2\nr1 r2 abcdefghijklmnopq r3\n", 1},
    {"FileSystemWithDot", "2\n2\nr1 r2\n1\n1\n/archive/v1.0\n", 1},
    {"FileSystemTooLong", "2\n2\nr1 r2\n1\n1\n/" + std::string(195, 'a') + "\n", 1},
    {"FileSystemMissing", fileSystemAnswers, 1, nullptr, {},
     [](T& t) { fs::remove(t.scratch_ / "arch"); }},
    {"DeviceNameTooLong", "2\n2\nr1\n1\n2\n/dev/rmt01234567\n", 1},
    {"DeviceNotRaw", "2\n2\nr1\n1\n2\n/dev/mt0\n", 1},
    // Every leftover is reported, in the order of the work files.
    {"LeftoversInFamilyHome", deviceAnswers + "1\n", 1, nullptr, {},
     [](T& t) {
         writeFile(t.home_ / "PELOarchive.CPIOlist", "");
         writeFile(t.home_ / "PELOarchive.dbData", "");
     }},

    // ---- environment ----------------------------------------------------------
    {"PeloHomeUnset", checkOnlyAnswers, 1, nullptr, {}, [](T& t) { t.env_.erase("PELO_HOME"); }},
    {"InstallRecordMissing", checkOnlyAnswers, 1, nullptr, {},
     [](T& t) { fs::remove(t.scratch_ / "pelo/install/mkdb"); }},
    {"NoDatabaseVariable", checkOnlyAnswers, 1, nullptr, {}, [](T& t) { t.env_.erase("ORACLE_HOME"); }},
    // Each set variable must agree with the record, so two always fail.
    {"TwoDatabaseVariables", checkOnlyAnswers, 1, nullptr, {},
     [](T& t) {
         writeFile(t.scratch_ / "pelo/install/mkdb", "# ORACLE\nDB=SYBASE\n");
         t.env_["SYBASE"] = "/opt/sybase";
         t.env_["SYBASE_PASS"] = "secret";
     }},
    {"OraclePassUnset", checkOnlyAnswers, 1, nullptr, {}, [](T& t) { t.env_["ORACLE_PASS"] = " \t "; }},
    {"SybasePassUnset", checkOnlyAnswers, 1, nullptr, {},
     [](T& t) {
         writeFile(t.scratch_ / "pelo/install/mkdb", "# ORACLE\nDB=SYBASE\n");
         t.env_.erase("ORACLE_HOME");
         t.env_["SYBASE"] = "/opt/sybase";
     }},
    {"VCTypeInvalid", checkOnlyAnswers, 1, nullptr, {}, [](T& t) { t.env_["PELO_VCTYPE"] = "Sccs"; }},
    {"ConnectFails", checkOnlyAnswers, 1, nullptr, {},
     [](T& t) { t.env_["PELO_DB"] = (t.scratch_ / "no/such/dir/family.db").string(); }},

    // ---- prerequisite checks --------------------------------------------------
    // Each broken rule stops the checks with its own message after the line
    // of progress is ended; the clean-up follows and the run fails.  The
    // rules on tracks in other levels and on tracks committed without a
    // level, the checks' own tests refuse with their messages.
    {"MissingUserZero", levelCheck, 1, "--break=no-user0"},
    // The second release of a release archive is missing; the first passed.
    {"SecondReleaseMissing", "1\n2\nrel1 rel9\n", 1, ""},
    {"LevelMissing", "1\n1\nr1lvl02\nrel2\n", 1, ""},
    {"CheckedOutFileBlocksPvcsLevelArchive", levelCheck, 1, "--vc=pvcs --break=checked-out"},
    // Under SCCS a checked-out file matters to a release archive only
    // (ScriptedCheckOnlyRun passes a level archive with one).
    {"CheckedOutFileBlocksSccsReleaseArchive", releaseCheck, 1, "--break=checked-out"},
    {"SharedSourceCheckedOutInLaterRelease", levelCheck, 1, "--vc=pvcs --break=shared-checked-out"},
    {"SharedSourceBlocksPvcsReleaseArchive", releaseCheck, 1, "--vc=pvcs --break=shared-checked-out"},
    {"EarlierLevelNotComplete", levelCheck, 1, "--break=earlier-level-not-complete"},
    {"TrackOfLevelNotComplete", levelCheck, 1, "--vc=pvcs --break=track-not-complete"},
    {"ReleaseLevelNotComplete", releaseCheck, 1, "--break=release-level-not-complete"},
    // A device archive refused by the checks has made neither the cpio list
    // nor any other work file.
    {"ReleaseTrackActive", "2\n2\nrel1\n1\n2\n/dev/rmt0\n1\n", 1, "--vc=pvcs --break=release-track-active", {},
     {}, [](T& t) { EXPECT_EQ(workFiles(t.home_), Listing{}); }},
    {"SizingReady", releaseCheck, 1, "--break=sizes-ready"},
    {"OpenDefectWithDecidedSizing", releaseCheck, 1, "--vc=pvcs --break=dsr-defect-sized"},
    // A table the checks read is gone: the statement fails, the run ends
    // through the fatal database path and its clean-up, and the database is
    // left as it was (the session is rolled back, nothing was written).
    {"DatabaseErrorDuringChecks", levelToFileSystem, 1, "", {},
     [](T& t) {
         ASSERT_NO_FATAL_FAILURE(t.runSql("DROP TABLE LEVELMEMBERS;"));
         t.rememberFamily();
     },
     [](T& t) {
         t.expectFamilyUnchanged();
         EXPECT_TRUE(fs::is_empty(t.scratch_ / "arch"));
     }},

    // ---- whole runs -----------------------------------------------------------
    // Informix skips the export of notes and versions but gets their load
    // files; removal is committed.
    {"InformixArchiveWithRemoval", "2\n2\nrel1\n2\n2\n1\n@SCRATCH@/arch\n", 0, "--db=informix", {}, {},
     [](T& t) {
         EXPECT_EQ(workFiles(t.scratch_ / "arch"),
                   (Listing{{"PELOarchive.dbData", 0755}, {"PELOarchive.notesData", 0755},
                            {"PELOarchive.versionsData", 0755}, {"PELOarchive.info", 0644},
                            {"PELOarchive.manifest", 0644}, {"PELOarchive.rows.db", 0644},
                            {"PELOarchive.users", 0644}}));
         t.expectInfoHead(t.scratch_ / "arch/PELOarchive.info");
     }},
    // A Sybase family under PVCS archived to a device through another
    // working directory: the load files there, the cpio list in the home;
    // after Continue without removal no work file is left, nor the PVCS
    // clean-up list.
    {"PvcsDeviceArchiveWithWorkingDirectory", releaseToDeviceViaWork + "1\n", 0, "--db=sybase --vc=pvcs", {},
     [](T& t) { fs::create_directories(t.scratch_ / "work"); },
     [](T& t) {
         EXPECT_EQ(workFiles(t.scratch_ / "work"), Listing{});
         EXPECT_EQ(workFiles(t.home_), Listing{});
         const std::vector<std::string> names = t.extractMedium(t.scratch_ / "medium");
         EXPECT_NE(std::find(names.begin(), names.end(), (t.scratch_ / "work/PELOarchive.info").string()), names.end());
         t.expectInfoHead(t.scratch_ / "medium" / (t.scratch_ / "work/PELOarchive.info").relative_path());
     }},
    // Quit after cpio (an answer that is neither 1 nor 2 is asked again):
    // the run ends through the clean-up, which finds the work files and the
    // PVCS clean-up list already gone.
    {"PvcsDeviceArchiveQuit", releaseToDeviceViaWork + "3\n2\n", 1, "--db=sybase --vc=pvcs", {},
     [](T& t) { fs::create_directories(t.scratch_ / "work"); },
     [](T& t) {
         EXPECT_EQ(workFiles(t.scratch_ / "work"), Listing{});
         EXPECT_EQ(workFiles(t.home_), Listing{});
         EXPECT_GT(fs::file_size(t.device()), 0u);
     }},
    // cpio fails on a full medium, with removal asked for: the run ends
    // through the clean-up before the question after cpio, and the family's
    // database and home are as they were.
    {"CpioFailureEndsBeforeRemoval", "2\n1\nr2lvl02\nrel2\n2\n2\n2\n@DEVICE@\n1\n1\n", 1, "", {},
     [](T& t) {
         t.useCpio("cat >/dev/null\necho 'cpio: write error: No space left on device' >&2\nexit 2\n");
         t.rememberFamily();
     },
     [](T& t) { t.expectFamilyUnchanged(); }},
    // A device archive with removal is read back from the device before
    // anything is removed; the copy it is read into goes with it.
    {"DeviceArchiveReadBackBeforeRemoval", deviceRemoval + "1\n", 0, "", {}, {},
     [](T& t) {
         EXPECT_EQ(workFiles(t.home_), Listing{});
         for (const auto& entry : fs::directory_iterator(t.home_))
             EXPECT_FALSE(entry.path().filename().string().starts_with("PELOarchive.")) << entry.path();
     }},
    // A device that does not rewind is not read back: the run says so and
    // asks once more; no leaves the family as it was, yes removes.
    {"NoRewindDeviceRemovalDeclined", deviceRemovalNoRewind + "1\n1\n", 1, "", {},
     [](T& t) { t.rememberFamily(); }, [](T& t) { t.expectFamilyUnchanged(); }},
    {"NoRewindDeviceRemovalTaken", deviceRemovalNoRewind + "1\n2\n", 0, "", {},
     [](T& t) { t.rememberFamily(); },
     [](T& t) { EXPECT_FALSE(readFile(t.env_.at("PELO_DB")) == t.databaseBefore_) << "nothing was removed"; }},
    // The cpio list cannot be created (its name in the family home leads
    // nowhere): the message, then the clean-up takes away the work files
    // already made in the working directory.
    {"CpioListCannotBeCreated", releaseToDeviceViaWork, 1, "--db=vql", {},
     [](T& t) {
         fs::create_directories(t.scratch_ / "work");
         fs::create_symlink(t.scratch_ / "nowhere/list", t.home_ / "PELOarchive.CPIOlist");
     },
     [](T& t) { EXPECT_EQ(workFiles(t.scratch_ / "work"), Listing{}); }},

    // ---- semaphores -----------------------------------------------------------
    {"DaemonsInRegularMode", fileSystemAnswers, 1, nullptr, {},
     [](T& t) { t.createSemaphore(daemonProject); },
     [](T& t) { EXPECT_GE(t.semaphore(daemonProject), 0); }},
    {"StaleArchiveSemaphore", fileSystemAnswers, 1, nullptr, {},
     [](T& t) { t.createSemaphore(archiveProject); },
     [](T& t) { EXPECT_GE(t.semaphore(archiveProject), 0) << "a refused run removed another run's semaphore"; }},

    // ---- signals --------------------------------------------------------------
    // Every signal the run honours has the one handler and the one clean-up.
    {"SigHupEndsThroughCleanUp", fileSystemAnswers, 1, nullptr, {}, {}, {}, SIGHUP},

    // ---- scripted runs ----------------------------------------------------------
    // Options answer the menus; standard input is /dev/null.  --help and
    // --version touch nothing; a refused command line is one line on
    // standard error and status 2, before anything is touched.
    {"ScriptedHelp", "", 0, nullptr, {"--help"}, {}, [](T& t) { t.expectNothingTouched(); }},
    {"ScriptedVersion", "", 0, nullptr, {"--version", "--frobnicate"}, {}, [](T& t) { t.expectNothingTouched(); }},
    // The summary of a refused command line says so.
    {"ScriptedRefusalWritesSummary", "", 2, nullptr, {"--json", "@SCRATCH@/summary.json", "--check"}, {},
     [](T& t) {
         t.expectNothingTouched();
         t.summary();
     }},
    // The dialog's checks refuse what the options give, with the typed
    // answer's message and the clean-up, and the status of a usage error.
    {"ScriptedFileSystemNotEmpty", "", 2, nullptr, {"--releases", "r1", "--to", "@SCRATCH@/arch"},
     [](T& t) { writeFile(t.scratch_ / "arch/.hidden", ""); },
     [](T& t) { EXPECT_EQ(readFile(t.scratch_ / "arch/.hidden"), ""); }},
    // Past the dialog, a failure is a failure: status 1, the semaphore given back.
    {"ScriptedFailureAfterTheDialog", "", 1, nullptr,
     {"--releases", "r1", "--to", "@SCRATCH@/arch", "--json", "@SCRATCH@/summary.json"},
     [](T& t) { t.env_.erase("PELO_VCTYPE"); },
     [](T& t) {
         EXPECT_TRUE(fs::is_empty(t.scratch_ / "arch"));
         t.summary();
     }},
    // A family whose checks refuse the archive is not ready: status 3, nothing written.
    {"ScriptedFamilyNotReady", "", 3, "--break=level-not-complete",
     {"--level", "r2lvl02", "--release", "rel2", "--to", "@SCRATCH@/arch", "--json", "@SCRATCH@/summary.json"}, {},
     [](T& t) {
         EXPECT_TRUE(fs::is_empty(t.scratch_ / "arch"));
         t.summary();
     }},
    // A level archive under SCCS passes its checks with a file checked out.
    // A check-only run neither probes nor takes a semaphore, and "-F" does
    // not make it remove a stale one.  The estimate the summary holds is the
    // one printed, the sum of its parts.
    {"ScriptedCheckOnlyRun", "", 0, "--break=checked-out",
     {"-F", "--check", "--level", "r2lvl02", "--release", "rel2", "--json", "@SCRATCH@/summary.json"},
     [](T& t) {
         t.createSemaphore(daemonProject);
         t.createSemaphore(archiveProject);
     },
     [](T& t) {
         EXPECT_GE(t.semaphore(daemonProject), 0);
         EXPECT_GE(t.semaphore(archiveProject), 0);
         EXPECT_EQ(workFiles(t.home_), Listing{});
         const Json s = t.summary();
         ASSERT_TRUE(s["estimate"].is_object());
         char printed[32];
         std::snprintf(printed, sizeof printed, "%6.2f MB", s["estimate"]["megabytes"].get<double>());
         EXPECT_NE(readFile(t.scratch_ / "stdout").find(printed), std::string::npos) << printed;
         const Json& b = s["bytes"];
         EXPECT_EQ(b["script"].get<long>() + b["exports"].get<long>() + b["maps"].get<long>() +
                       b["configFiles"].get<long>() + b["histories"].get<long>(),
                   s["estimate"]["bytes"].get<long>());
         EXPECT_GT(b["histories"].get<long>(), 0);
     }},
    // An Oracle family under SCCS archived to a file system: the export file
    // and no load files, nothing in the family home.  The summary's bytes
    // are the archive's.
    {"ScriptedFileSystemArchiveRun", "", 0, "",
     {"--level", "r2lvl02", "--release", "rel2", "--to", "@SCRATCH@/arch", "--json", "@SCRATCH@/summary.json"}, {},
     [](T& t) {
         const fs::path arch = t.scratch_ / "arch";
         EXPECT_EQ(workFiles(arch), (Listing{{"PELOarchive.dbData", 0755}, {"PELOarchive.export", 0755},
                                             {"PELOarchive.info", 0644}, {"PELOarchive.manifest", 0644},
                                             {"PELOarchive.rows.db", 0644},
                                             {"PELOarchive.users", 0644}}));
         EXPECT_EQ(workFiles(t.home_), Listing{});
         t.expectInfoHead(arch / "PELOarchive.info");
         const Json s = t.summary();
         EXPECT_EQ(s["bytes"]["script"], fs::file_size(arch / "PELOarchive.dbData"));
         EXPECT_EQ(s["bytes"]["exports"], fs::file_size(arch / "PELOarchive.export"));
     }},
    // Removal that fails keeps the archive and says so: 0010-949, status 5.
    {"ScriptedRemovalFails", "", 5, "",
     {"--releases", "rel1", "--to", "@SCRATCH@/arch", "--remove", "--yes-remove", "--json", "@SCRATCH@/summary.json"},
     [](T& t) { t.runSql("CREATE TRIGGER REFUSE BEFORE DELETE ON LEVELS BEGIN SELECT RAISE(ABORT, 'refused'); END;"); },
     [](T& t) {
         EXPECT_TRUE(fs::exists(t.scratch_ / "arch/PELOarchive.dbData")) << "the archive is kept";
         t.summary();
     }},
    // A device archive with the family home as working directory announces
    // what it determines instead of what it archives, and asks nothing after
    // cpio.  The device holds, in the order of the cpio list, the work
    // files, every map, configuration file and history that the information
    // file names (relative to the home, histories whole), the VC clean-up
    // list, the manifest, the information file and the list itself, and what
    // it holds passes the manifest's check; no work file is left.  The
    // summary measures what the cpio list named.
    {"ScriptedDeviceArchiveRun", "", 0, "",
     {"--level", "r2lvl02", "--release", "rel2", "--device", "@DEVICE@", "--continue", "--json",
      "@SCRATCH@/summary.json"},
     {},
     [](T& t) {
         EXPECT_EQ(workFiles(t.home_), Listing{});
         const fs::path out = t.scratch_ / "medium";
         std::vector<std::string> names, expected = {"PELOarchive.users", "PELOarchive.dbData",
                                                      "PELOarchive.rows.db", "PELOarchive.export"};
         for (const std::string& name : t.extractMedium(out))
             if (name != "PELOarchive.VCcleanup")
                 names.push_back(name);
         std::istringstream info(readFile(out / "PELOarchive.info"));
         for (std::string line; std::getline(info, line);)
             if (line.starts_with(t.home_.string() + "/")) {
                 expected.push_back(line.substr(t.home_.string().size() + 1));
                 EXPECT_EQ(readFile(out / expected.back()), readFile(line)) << line;
             }
         expected.insert(expected.end(), {"PELOarchive.manifest", "PELOarchive.info", "PELOarchive.CPIOlist"});
         EXPECT_EQ(names, expected);
         EXPECT_EQ(std::system(("cd " + pelo::shellQuote(out.string()) +
                                " && sha256sum --quiet --strict -c PELOarchive.manifest").c_str()),
                   0);
         EXPECT_GT(expected.size(), 20u) << "maps, configuration files and histories";
         t.expectGolden(".VCcleanup", readFile(out / "PELOarchive.VCcleanup"));
         t.expectInfoHead(out / "PELOarchive.info");
         EXPECT_EQ(t.summary()["bytes"]["script"], fs::file_size(out / "PELOarchive.dbData"));
     }},
    // A medium that does not read back refuses a scripted removal too: the
    // run ends with its own status, and nothing has left the family.  The
    // cpio loses all but the medium's first 2048 bytes without a word; it
    // reads as cpio does.
    {"ScriptedMediumCutShortIsNotVerified", "", 4, "",
     {"--level", "r2lvl02", "--release", "rel2", "--device", "@DEVICE@", "--continue", "--remove", "--yes-remove",
      "--json", "@SCRATCH@/summary.json"},
     [](T& t) {
         t.useCpio("case \"$1\" in -o) /usr/bin/cpio \"$@\" 2>/dev/null | { head -c 2048; cat >/dev/null; }; exit 0;; "
                   "esac\nexec /usr/bin/cpio \"$@\"\n");
         t.rememberFamily();
     },
     [](T& t) {
         t.expectFamilyUnchanged();
         t.summary();
     }},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, PeloarchiveScenario, ::testing::ValuesIn(scenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
