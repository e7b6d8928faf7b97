// Scenarios of the real peloarchive binary.  Each runs it as the family
// login "pelofam" (through nss_wrapper, whose passwd file gives the current
// uid that name and a scratch home), feeds the answers on standard input and
// compares the whole standard output with a golden file, the exit status,
// the empty standard error, and the archive semaphores left behind.
// Golden files name the scratch directory @SCRATCH@, the family home @HOME@
// and the family @FAMILY@; <name>.info holds the head of a run's archive
// information file, with @DATE@ for the time of the run.
//
// Runs that reach the database use a family built by mkfamily (tiny size)
// in the scratch directory: its passwd and group files, its home and the
// environment of its family.env.  Its shapes break one prerequisite rule
// each; its archive requests are the ones family.txt names.
#include <fcntl.h>
#include <poll.h>
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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/client.h"

namespace fs = std::filesystem;

namespace {

constexpr int daemonProject = 108;
constexpr int archiveProject = 109;

// Answers that lead each kind of run to the step after the dialog.
const char* const checkOnlyAnswers = "1\n1\nl1\nr1\n";
const char* const fileSystemAnswers = "2\n2\nr1 r2\n1\n1\n@SCRATCH@/arch\n";
const char* const deviceAnswers = "2\n2\nr1\n1\n2\n/dev/rmt0\n";

// The requests a family from mkfamily is shaped for: a level archive of
// r2lvl02 in rel2, a release archive of rel1.
const char* const levelCheck = "1\n1\nr2lvl02\nrel2\n";
const char* const releaseCheck = "1\n2\nrel1\n";
const char* const levelToFileSystem = "2\n1\nr2lvl02\nrel2\n1\n1\n@SCRATCH@/arch\n";
const char* const releaseToFileSystem = "2\n2\nrel1\n1\n1\n@SCRATCH@/arch\n";

// Work files by name, with their permission bits.
using Listing = std::map<std::string, unsigned>;

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeAll(int fd, std::string text) {
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            break;  // the program stopped reading: the rest is not needed
        done += static_cast<std::size_t>(n);
    }
    close(fd);
}

// Reads both pipes to their ends; false when the program hangs.
bool readBoth(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, 60000) <= 0)
            return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

class PeloarchiveScenario : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(NSS_WRAPPER_LIB).empty())
            GTEST_SKIP() << "libnss_wrapper is not installed";
        signal(SIGPIPE, SIG_IGN);
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
    }

    void TearDown() override {
        if (scratch_.empty())
            return;
        umask(oldMask_);
        for (int project : {daemonProject, archiveProject})
            if (int id = semaphore(project); id >= 0)
                semctl(id, 0, IPC_RMID);
        fs::remove_all(scratch_);
    }

    // The identifier of the set for the family home's key, or -1.
    int semaphore(int project) const {
        key_t key = ftok(home_.c_str(), project);
        return key == -1 ? -1 : semget(key, 1, 0);
    }

    void createSemaphore(int project) {
        ASSERT_GE(semget(ftok(home_.c_str(), project), 1, IPC_CREAT | 0600), 0);
    }

    std::string substitute(const std::string& text) const {
        return replaceAll(replaceAll(replaceAll(text, "@SCRATCH@", scratch_.string()), "@HOME@",
                                     home_.string()),
                          "@FAMILY@", "pelofam");
    }

    std::string golden(const std::string& name, const char* kind = ".out") const {
        return substitute(readFile(fs::path(GOLDEN_DIR) / (name + kind)));
    }

    // Builds a family with mkfamily (the options choose product, kind and
    // shape) and runs as its login: its passwd and group, its home, and the
    // variables of its family.env in place of the made-up database ones.
    void useFamily(const std::string& options = "") {
        const fs::path root = scratch_ / "family";
        const std::string command = std::string(MKFAMILY_BINARY) + " --root='" + root.string() +
                                    "' --uid=" + std::to_string(getuid()) + " " + options +
                                    " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string requests = readFile(root / "family.txt");
        for (const char* request : {"releaseArchive=rel1\n", "levelArchiveRelease=rel2\n",
                                    "levelArchive=r2lvl02\n"})
            ASSERT_NE(requests.find(request), std::string::npos) << "the answers assume " << request;
        home_ = root / "home";
        for (const char* name :
             {"ORACLE_HOME", "ORACLE_PASS", "INFORMIXDIR", "SYBASE", "SYBASE_PASS", "VQL_HOME"})
            env_.erase(name);
        std::istringstream lines(readFile(root / "family.env"));
        for (std::string line; std::getline(lines, line);) {
            const auto eq = line.find('=');
            if (line.rfind("export ", 0) != 0 || eq == std::string::npos)
                continue;
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
                value = value.substr(1, value.size() - 2);
            env_[line.substr(7, eq - 7)] = value;
        }
    }

    // Changes the family's database behind the utility's back.
    void runSql(const std::string& script) {
        ASSERT_EQ(pelo::sqlConnect(env_["PELO_DB"], "test", "test"), 0) << pelo::sqlca.sqlerrm;
        EXPECT_EQ(pelo::sqlExecuteScript(script), 0) << pelo::sqlca.sqlerrm;
        EXPECT_EQ(pelo::sqlCommit(), 0);
        pelo::sqlRollbackRelease();
    }

    // The work files in a directory, with their permission bits.
    static Listing workFiles(const fs::path& dir) {
        Listing files;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            struct stat status {};
            if (name.rfind("PELOarchive.", 0) == 0 && lstat(entry.path().c_str(), &status) == 0)
                files[name] = status.st_mode & 07777;
        }
        return files;
    }

    // The information file starts with the golden head <name>.info, whose
    // @DATE@ stands for the local time of some second of the run, written
    // with the years since 1900.
    void expectInfoHead(const std::string& name, const fs::path& info, std::time_t before,
                        std::time_t after) const {
        const std::string head = golden(name, ".info");
        std::string text = readFile(info);
        const auto at = head.find("@DATE@");
        ASSERT_NE(at, std::string::npos);
        const auto end = text.find('\n', std::min(at, text.size()));
        ASSERT_NE(end, std::string::npos) << text;
        const std::string date = text.substr(at, end - at);
        bool duringRun = false;
        for (std::time_t t = before; t <= after && !duringRun; ++t) {
            std::tm local{};
            localtime_r(&t, &local);
            char expected[64];
            std::snprintf(expected, sizeof expected, "%02d/%02d/%02d %02d:%02d:%02d", local.tm_year,
                          local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
            duringRun = date == expected;
        }
        EXPECT_TRUE(duringRun) << "date of archive: " << date;
        text.replace(at, date.size(), "@DATE@");
        EXPECT_EQ(text.substr(0, head.size()), head);
    }

    // Runs the binary with the answers; whileRunning gets its pid before
    // the output is read.
    RunResult run(const std::string& answers, std::vector<std::string> args = {},
                  const std::function<void(pid_t)>& whileRunning = {}) {
        int in[2], out[2], err[2];
        if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0)
            return {};
        std::vector<std::string> envText;
        for (const auto& [name, value] : env_)
            envText.push_back(name + "=" + value);
        args.insert(args.begin(), PELOARCHIVE_BINARY);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        for (auto& e : envText)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
                close(fd);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        std::thread writer(writeAll, in[1], substitute(answers));
        if (whileRunning)
            whileRunning(pid);
        RunResult result;
        if (!readBoth(out[0], err[0], result.out, result.err)) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << "peloarchive did not finish";
        }
        writer.join();
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }

    // Runs and compares the whole standard output with the golden file.
    void expectRun(const std::string& name, const std::string& answers, int status,
                   std::vector<std::string> args = {},
                   const std::function<void(pid_t)>& whileRunning = {}) {
        RunResult result = run(answers, std::move(args), whileRunning);
        EXPECT_EQ(result.out, golden(name));
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.err, "");
    }

    // Sends the signal while the program is blocked reading its
    // installation record, which is a FIFO here: once the FIFO can be
    // opened for writing, the program is past the handlers and waits in
    // the record; closing the FIFO after the signal lets it go on either
    // way.
    void expectSignalEndsRun(const std::string& name, int signo) {
        fs::path record = scratch_ / "pelo/install/mkdb";
        fs::remove(record);
        ASSERT_EQ(mkfifo(record.c_str(), 0600), 0);
        expectRun(name, fileSystemAnswers, 1, {}, [&](pid_t pid) {
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
        });
        EXPECT_LT(semaphore(archiveProject), 0) << "the clean-up left the semaphore";
    }

    fs::path scratch_;
    fs::path home_;
    std::map<std::string, std::string> env_;
    mode_t oldMask_ = 022;
};

// ---- dialog -----------------------------------------------------------------

TEST_F(PeloarchiveScenario, ExitAtFirstMenu) { expectRun("ExitAtFirstMenu", "3\n", 1); }

TEST_F(PeloarchiveScenario, TwoDigitAnswer) { expectRun("TwoDigitAnswer", "12\n3\n", 1); }

TEST_F(PeloarchiveScenario, EndOfInputAtFirstMenu) { expectRun("EndOfInputAtFirstMenu", "", 1); }

TEST_F(PeloarchiveScenario, CheckOnlyExitAtTypeMenu) {
    expectRun("CheckOnlyExitAtTypeMenu", "1\n3\n", 1);
}

TEST_F(PeloarchiveScenario, ArchiveExitAtTypeMenu) { expectRun("ArchiveExitAtTypeMenu", "2\n3\n", 1); }

TEST_F(PeloarchiveScenario, LevelNameTooLong) {
    expectRun("LevelNameTooLong", "1\n1\nabcdefghijklmnop\nr1\n", 1);
}

// Fifteen two-byte characters fit the limit of 15; sixteen do not.
TEST_F(PeloarchiveScenario, MultibyteLevelFitsReleaseDoesNot) {
    std::string e15, e16;
    for (int i = 0; i < 15; ++i)
        e15 += "\xc3\xa9";
    e16 = e15 + "\xc3\xa9";
    expectRun("MultibyteLevelFitsReleaseDoesNot", "1\n1\n" + e15 + "\n" + e16 + "\n", 1);
}

TEST_F(PeloarchiveScenario, EmptyReleaseLine) { expectRun("EmptyReleaseLine", "1\n2\n\nr1\n", 1); }

TEST_F(PeloarchiveScenario, ReleaseNameTooLongInList) {
    expectRun("ReleaseNameTooLongInList", "1\n2\nr1 r2 abcdefghijklmnopq r3\n", 1);
}

TEST_F(PeloarchiveScenario, InvalidRemovalAnswer) {
    expectRun("InvalidRemovalAnswer", "2\n1\nl1\nr1\n3\n", 1);
}

TEST_F(PeloarchiveScenario, InvalidRemovalConfirmation) {
    expectRun("InvalidRemovalConfirmation", "2\n1\nl1\nr1\n2\n9\n", 1);
}

TEST_F(PeloarchiveScenario, InvalidDestination) {
    expectRun("InvalidDestination", "2\n1\nl1\nr1\n1\n3\n", 1);
}

TEST_F(PeloarchiveScenario, FileSystemWithDot) {
    expectRun("FileSystemWithDot", "2\n2\nr1 r2\n1\n1\n/archive/v1.0\n", 1);
}

TEST_F(PeloarchiveScenario, FileSystemTooLong) {
    expectRun("FileSystemTooLong", "2\n2\nr1 r2\n1\n1\n/" + std::string(195, 'a') + "\n", 1);
}

TEST_F(PeloarchiveScenario, FileSystemMissing) {
    fs::remove(scratch_ / "arch");
    expectRun("FileSystemMissing", fileSystemAnswers, 1);
}

TEST_F(PeloarchiveScenario, FileSystemNotEmpty) {
    writeFile(scratch_ / "arch/.hidden", "");
    expectRun("FileSystemNotEmpty", fileSystemAnswers, 1);
}

TEST_F(PeloarchiveScenario, LeftoverPVCSList) {
    writeFile(home_ / "PELOarchive.PVCS_clean", "");
    expectRun("LeftoverPVCSList", fileSystemAnswers, 1);
}

TEST_F(PeloarchiveScenario, DeviceNameTooLong) {
    expectRun("DeviceNameTooLong", "2\n2\nr1\n1\n2\n/dev/rmt01234567\n", 1);
}

TEST_F(PeloarchiveScenario, DeviceNotRaw) { expectRun("DeviceNotRaw", "2\n2\nr1\n1\n2\n/dev/mt0\n", 1); }

TEST_F(PeloarchiveScenario, WorkDirInvalidAnswer) {
    expectRun("WorkDirInvalidAnswer", std::string(deviceAnswers) + "3\n", 1);
}

TEST_F(PeloarchiveScenario, WorkDirMissing) {
    expectRun("WorkDirMissing", std::string(deviceAnswers) + "2\n@SCRATCH@/work\n", 1);
}

TEST_F(PeloarchiveScenario, WorkDirWithShellCharacter) {
    expectRun("WorkDirWithShellCharacter", std::string(deviceAnswers) + "2\n@SCRATCH@/w$rk\n", 1);
}

// Every leftover is reported, in the order of the work files.
TEST_F(PeloarchiveScenario, LeftoversInFamilyHome) {
    writeFile(home_ / "PELOarchive.CPIOlist", "");
    writeFile(home_ / "PELOarchive.dbData", "");
    expectRun("LeftoversInFamilyHome", std::string(deviceAnswers) + "1\n", 1);
}

// ---- environment ------------------------------------------------------------

TEST_F(PeloarchiveScenario, PeloHomeUnset) {
    env_.erase("PELO_HOME");
    expectRun("PeloHomeUnset", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, InstallRecordMissing) {
    fs::remove(scratch_ / "pelo/install/mkdb");
    expectRun("InstallRecordMissing", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, NoDatabaseVariable) {
    env_.erase("ORACLE_HOME");
    expectRun("NoDatabaseVariable", checkOnlyAnswers, 1);
}

// The last active line of the record decides, and it names Informix.
TEST_F(PeloarchiveScenario, OracleHomeWithInformixRecord) {
    writeFile(scratch_ / "pelo/install/mkdb", "ORACLE=1\nINFORMIX=1\n");
    expectRun("OracleHomeWithInformixRecord", checkOnlyAnswers, 1);
}

// Each set variable must agree with the record, so two always fail.
TEST_F(PeloarchiveScenario, TwoDatabaseVariables) {
    writeFile(scratch_ / "pelo/install/mkdb", "# ORACLE\nDB=SYBASE\n");
    env_["SYBASE"] = "/opt/sybase";
    env_["SYBASE_PASS"] = "secret";
    expectRun("TwoDatabaseVariables", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, OraclePassUnset) {
    env_["ORACLE_PASS"] = " \t ";
    expectRun("OraclePassUnset", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, SybasePassUnset) {
    writeFile(scratch_ / "pelo/install/mkdb", "# ORACLE\nDB=SYBASE\n");
    env_.erase("ORACLE_HOME");
    env_["SYBASE"] = "/opt/sybase";
    expectRun("SybasePassUnset", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, VCTypeUnset) {
    env_.erase("PELO_VCTYPE");
    expectRun("VCTypeUnset", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, VCTypeInvalid) {
    env_["PELO_VCTYPE"] = "Sccs";
    expectRun("VCTypeInvalid", checkOnlyAnswers, 1);
}

TEST_F(PeloarchiveScenario, ConnectFails) {
    env_["PELO_DB"] = (scratch_ / "no/such/dir/family.db").string();
    expectRun("ConnectFails", checkOnlyAnswers, 1);
}

// ---- prerequisite checks ------------------------------------------------------

// Each broken rule stops the checks with its own message after the line of
// progress is ended; the clean-up follows and the run fails.

TEST_F(PeloarchiveScenario, MissingUserZero) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=no-user0"));
    expectRun("MissingUserZero", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, ReleaseMissing) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    expectRun("ReleaseMissing", "1\n1\nr2lvl02\nrel9\n", 1);
}

// The second release of a release archive is missing; the first passed.
TEST_F(PeloarchiveScenario, SecondReleaseMissing) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    expectRun("SecondReleaseMissing", "1\n2\nrel1 rel9\n", 1);
}

TEST_F(PeloarchiveScenario, LevelMissing) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    expectRun("LevelMissing", "1\n1\nr1lvl02\nrel2\n", 1);
}

// In an archive run the refusal comes before any work file: the target
// stays empty and the archive semaphore is released.
TEST_F(PeloarchiveScenario, LevelNotComplete) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=level-not-complete"));
    expectRun("LevelNotComplete", levelToFileSystem, 1);
    EXPECT_TRUE(fs::is_empty(scratch_ / "arch"));
    EXPECT_LT(semaphore(archiveProject), 0);
}

TEST_F(PeloarchiveScenario, CheckedOutFileBlocksPvcsLevelArchive) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=checked-out"));
    expectRun("CheckedOutFileBlocksPvcsLevelArchive", levelCheck, 1);
}

// Under SCCS a checked-out file matters to a release archive only.
TEST_F(PeloarchiveScenario, CheckedOutFileLetsSccsLevelArchivePass) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=checked-out"));
    expectRun("CheckedOutFileLetsSccsLevelArchivePass", levelCheck, 0);
}

TEST_F(PeloarchiveScenario, CheckedOutFileBlocksSccsReleaseArchive) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=checked-out"));
    expectRun("CheckedOutFileBlocksSccsReleaseArchive", releaseCheck, 1);
}

TEST_F(PeloarchiveScenario, SharedSourceCheckedOutInLaterRelease) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=shared-checked-out"));
    expectRun("SharedSourceCheckedOutInLaterRelease", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, SharedSourceBlocksPvcsReleaseArchive) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=shared-checked-out"));
    expectRun("SharedSourceBlocksPvcsReleaseArchive", releaseCheck, 1);
}

TEST_F(PeloarchiveScenario, EarlierLevelNotComplete) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=earlier-level-not-complete"));
    expectRun("EarlierLevelNotComplete", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, TrackOfLevelNotComplete) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=track-not-complete"));
    expectRun("TrackOfLevelNotComplete", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, TrackAlsoInLaterLevel) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=track-in-later-level"));
    expectRun("TrackAlsoInLaterLevel", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, UnleveledTrackBeforeNextLevelNotComplete) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=unleveled-track-not-complete"));
    expectRun("UnleveledTrackBeforeNextLevelNotComplete", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, HeldTrackNotComplete) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=held-track-not-complete"));
    expectRun("HeldTrackNotComplete", levelCheck, 1);
}

TEST_F(PeloarchiveScenario, ReleaseLevelNotComplete) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=release-level-not-complete"));
    expectRun("ReleaseLevelNotComplete", releaseCheck, 1);
}

// A device archive refused by the checks has made neither the cpio list
// nor any other work file.
TEST_F(PeloarchiveScenario, ReleaseTrackActive) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=release-track-active"));
    expectRun("ReleaseTrackActive", "2\n2\nrel1\n1\n2\n/dev/rmt0\n1\n", 1);
    EXPECT_EQ(workFiles(home_), Listing{});
    EXPECT_LT(semaphore(archiveProject), 0);
}

TEST_F(PeloarchiveScenario, SizingReady) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--break=sizes-ready"));
    expectRun("SizingReady", releaseCheck, 1);
}

TEST_F(PeloarchiveScenario, OpenDefectWithDecidedSizing) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--vc=pvcs --break=dsr-defect-sized"));
    expectRun("OpenDefectWithDecidedSizing", releaseCheck, 1);
}

// A table the checks read is gone: the statement fails, the run ends
// through the fatal database path and its clean-up, and the database is
// left as it was (the session is rolled back, nothing was written).
TEST_F(PeloarchiveScenario, DatabaseErrorDuringChecks) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    ASSERT_NO_FATAL_FAILURE(runSql("DROP TABLE LEVELMEMBERS;"));
    const std::string before = readFile(env_["PELO_DB"]);
    expectRun("DatabaseErrorDuringChecks", levelToFileSystem, 1);
    EXPECT_TRUE(readFile(env_["PELO_DB"]) == before) << "the database changed";
    EXPECT_TRUE(fs::is_empty(scratch_ / "arch"));
    EXPECT_LT(semaphore(archiveProject), 0);
}

// ---- whole runs -------------------------------------------------------------

TEST_F(PeloarchiveScenario, CheckOnlyRun) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    expectRun("CheckOnlyRun", levelCheck, 0);
    EXPECT_EQ(workFiles(home_), Listing{});
}

// A check-only run neither probes nor takes a semaphore, and "-F" does not
// make it remove a stale one.
TEST_F(PeloarchiveScenario, CheckOnlyRunIgnoresForceAndSemaphores) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    createSemaphore(daemonProject);
    createSemaphore(archiveProject);
    expectRun("CheckOnlyRunIgnoresForceAndSemaphores", releaseCheck, 0, {"-F"});
    EXPECT_GE(semaphore(daemonProject), 0);
    EXPECT_GE(semaphore(archiveProject), 0);
}

// An Oracle family under SCCS archived to a file system: the export file
// and no load files, nothing in the family home.
TEST_F(PeloarchiveScenario, FileSystemArchiveRun) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    const std::time_t before = std::time(nullptr);
    expectRun("FileSystemArchiveRun", levelToFileSystem, 0);
    const std::time_t after = std::time(nullptr);
    EXPECT_LT(semaphore(archiveProject), 0);
    EXPECT_EQ(workFiles(scratch_ / "arch"),
              (Listing{{"PELOarchive.dbData", 0755}, {"PELOarchive.export", 0755},
                       {"PELOarchive.info", 0644}, {"PELOarchive.users", 0644}}));
    EXPECT_EQ(workFiles(home_), Listing{});
    expectInfoHead("FileSystemArchiveRun", scratch_ / "arch/PELOarchive.info", before, after);
}

// Informix skips the export of notes and versions but gets their load
// files; removal is committed.
TEST_F(PeloarchiveScenario, InformixArchiveWithRemoval) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--db=informix"));
    const std::time_t before = std::time(nullptr);
    expectRun("InformixArchiveWithRemoval", "2\n2\nrel1\n2\n2\n1\n@SCRATCH@/arch\n", 0);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(workFiles(scratch_ / "arch"),
              (Listing{{"PELOarchive.dbData", 0755}, {"PELOarchive.notesData", 0755},
                       {"PELOarchive.versionsData", 0755}, {"PELOarchive.info", 0644},
                       {"PELOarchive.users", 0644}}));
    expectInfoHead("InformixArchiveWithRemoval", scratch_ / "arch/PELOarchive.info", before, after);
}

// A device archive with the family home as working directory announces
// what it determines instead of what it archives; the work files and the
// cpio list are made in the home, and the list ends with the information
// file and itself.
TEST_F(PeloarchiveScenario, DeviceArchiveRun) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    const std::time_t before = std::time(nullptr);
    expectRun("DeviceArchiveRun", "2\n1\nr2lvl02\nrel2\n1\n2\n/dev/rmt0\n1\n", 0);
    const std::time_t after = std::time(nullptr);
    EXPECT_LT(semaphore(archiveProject), 0);
    EXPECT_EQ(workFiles(home_),
              (Listing{{"PELOarchive.dbData", 0755}, {"PELOarchive.export", 0755},
                       {"PELOarchive.info", 0644}, {"PELOarchive.users", 0644},
                       {"PELOarchive.VCcleanup", 0644}, {"PELOarchive.CPIOlist", 0755}}));
    EXPECT_EQ(readFile(home_ / "PELOarchive.CPIOlist"),
              "./PELOarchive.info\n./PELOarchive.CPIOlist\n");
    expectInfoHead("DeviceArchiveRun", home_ / "PELOarchive.info", before, after);
}

// A Sybase family under PVCS archived to a device through another working
// directory: the load files there, the cpio list in the home, and the PVCS
// clean-up list made and, without removal, taken away at the end.
TEST_F(PeloarchiveScenario, PvcsDeviceArchiveWithWorkingDirectory) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--db=sybase --vc=pvcs"));
    fs::create_directories(scratch_ / "work");
    const std::time_t before = std::time(nullptr);
    expectRun("PvcsDeviceArchiveWithWorkingDirectory",
              "2\n2\nrel1\n1\n2\n/dev/rmt0\n2\n@SCRATCH@/work\n", 0);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(workFiles(scratch_ / "work"),
              (Listing{{"PELOarchive.dbData", 0755}, {"PELOarchive.notesData", 0755},
                       {"PELOarchive.versionsData", 0755}, {"PELOarchive.info", 0644},
                       {"PELOarchive.users", 0644}, {"PELOarchive.VCcleanup", 0644}}));
    EXPECT_EQ(workFiles(home_), (Listing{{"PELOarchive.CPIOlist", 0755}}));
    expectInfoHead("PvcsDeviceArchiveWithWorkingDirectory", scratch_ / "work/PELOarchive.info",
                   before, after);
}

// The cpio list cannot be created (its name in the family home leads
// nowhere): the message, then the clean-up takes away the work files
// already made in the working directory.
TEST_F(PeloarchiveScenario, CpioListCannotBeCreated) {
    ASSERT_NO_FATAL_FAILURE(useFamily("--db=vql"));
    fs::create_directories(scratch_ / "work");
    fs::create_symlink(scratch_ / "nowhere/list", home_ / "PELOarchive.CPIOlist");
    expectRun("CpioListCannotBeCreated", "2\n2\nrel1\n1\n2\n/dev/rmt0\n2\n@SCRATCH@/work\n", 1);
    EXPECT_EQ(workFiles(scratch_ / "work"), Listing{});
    EXPECT_LT(semaphore(archiveProject), 0);
}

// ---- semaphores -------------------------------------------------------------

TEST_F(PeloarchiveScenario, DaemonsInRegularMode) {
    createSemaphore(daemonProject);
    expectRun("DaemonsInRegularMode", fileSystemAnswers, 1);
    EXPECT_GE(semaphore(daemonProject), 0);
    EXPECT_LT(semaphore(archiveProject), 0);
}

TEST_F(PeloarchiveScenario, StaleArchiveSemaphore) {
    createSemaphore(archiveProject);
    expectRun("StaleArchiveSemaphore", fileSystemAnswers, 1);
    EXPECT_GE(semaphore(archiveProject), 0) << "a refused run removed another run's semaphore";
}

TEST_F(PeloarchiveScenario, ForceReusesStaleSemaphore) {
    ASSERT_NO_FATAL_FAILURE(useFamily());
    createSemaphore(archiveProject);
    createSemaphore(daemonProject);
    expectRun("ForceReusesStaleSemaphore", releaseToFileSystem, 0, {"-F"});
    EXPECT_LT(semaphore(archiveProject), 0);
}

TEST_F(PeloarchiveScenario, FailureAfterSemaphoreReleasesIt) {
    env_.erase("PELO_VCTYPE");
    expectRun("FailureAfterSemaphoreReleasesIt", fileSystemAnswers, 1);
    EXPECT_LT(semaphore(archiveProject), 0);
}

// ---- signals ----------------------------------------------------------------

TEST_F(PeloarchiveScenario, SigTermEndsThroughCleanUp) {
    expectSignalEndsRun("SigTermEndsThroughCleanUp", SIGTERM);
}

TEST_F(PeloarchiveScenario, SigIntEndsThroughCleanUp) {
    expectSignalEndsRun("SigIntEndsThroughCleanUp", SIGINT);
}

TEST_F(PeloarchiveScenario, SigHupEndsThroughCleanUp) {
    expectSignalEndsRun("SigHupEndsThroughCleanUp", SIGHUP);
}

}  // namespace
