// The installation record decides the database product of the family.  The
// scenarios show the last active line deciding; here, how a line is read.
// Then the force option against the archive semaphore, with the real
// binary as a family login through nss_wrapper: a set left by a run that
// is gone is taken (the scenarios show it), one held by a running archive
// is not.
#include "archive/peloarchive.h"

#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "support/commandLine.h"
#include "support/msg.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

struct CloseFile {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string productOf(std::string record) {
    std::unique_ptr<FILE, CloseFile> file(fmemopen(record.data(), record.size(), "r"));
    return readInstallRecord(file.get());
}

TEST(InstallRecordTest, LinesAreReadWholeAndCommentsSkipped) {
    EXPECT_EQ(productOf("DB=VQL\n# DB=ORACLE\n"), "dizoz");
    EXPECT_EQ(productOf("# ORACLE\n"), "");
    EXPECT_EQ(productOf("oracle informix\n"), "") << "the names are upper case";
    EXPECT_EQ(productOf(std::string(600, 'x') + "SYBASE\nlast\n"), "sybase") << "a long line is read in pieces";
    EXPECT_EQ(productOf("ORACLE\nINFORMIX"), "informix") << "the last line needs no newline";
    EXPECT_EQ(productOf("VQL SYBASE INFORMIX ORACLE\n"), "oracle") << "within one line, a fixed order";
    EXPECT_EQ(productOf("VQL SYBASE\n"), "sybase");
}

// ---------------------------------------------------------------------------
// The force option and the holder of the archive semaphore.

namespace fs = std::filesystem;

constexpr int archiveProject = 109;
constexpr const char* nssWrapper = "/usr/lib/x86_64-linux-gnu/libnss_wrapper.so";

class ForceOptionTest : public ScratchDirTest {
protected:
    void SetUp() override {
        if (!fs::exists(nssWrapper))
            GTEST_SKIP() << "libnss_wrapper is not installed";
        ScratchDirTest::SetUp();
        for (const char* dir : {"home", "arch", "pelo/install"})
            fs::create_directories(scratch / dir);
        std::ofstream(scratch / "passwd") << "pelofam:x:" << getuid() << ":" << getgid() << ":family:"
                                           << (scratch / "home").string() << ":/bin/sh\n";
        std::ofstream(scratch / "group") << "pelofam:x:" << getgid() << ":\n";
        // An archive run to a directory; it ends at the next step for want
        // of PELO_HOME unless the test gives one.
        std::ofstream(scratch / "answers") << "2\n2\nr1\n1\n1\n" << (scratch / "arch").string() << "\n";
    }

    void TearDown() override {
        if (scratch.empty())
            return;
        if (const int id = archiveSet(); id >= 0)
            semctl(id, 0, IPC_RMID);
        ScratchDirTest::TearDown();
    }

    /// The family's archive set, or -1.
    int archiveSet() const { return semget(ftok((scratch / "home").c_str(), archiveProject), 1, 0); }

    /// Starts the utility on the answers, its output to `output`; the pid,
    /// which the shell hands on to the utility by exec.
    pid_t start(bool force, bool peloHome, const char* output) const {
        const auto at = [&](const char* name) { return shellQuote((scratch / name).string()); };
        std::string command = "exec env -i PATH=/usr/bin:/bin LANG=C.UTF-8 ASAN_OPTIONS=verify_asan_link_order=0";
        command += std::string(" LD_PRELOAD=") + nssWrapper + " NSS_WRAPPER_PASSWD=" + at("passwd") +
                   " NSS_WRAPPER_GROUP=" + at("group") + (peloHome ? " PELO_HOME=" + at("pelo") : "");
        command += " " + shellQuote(PELO_BINARY_DIR "/src/peloarchive") + (force ? " -F" : "") + " <" + at("answers") +
                   " >" + at(output) + " 2>&1";
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        }
        return pid;
    }
};

// A running archive marks the set it takes, so a forced second run finds
// it.  The first waits in its installation record, a FIFO nobody writes,
// until it is told to stop.
TEST_F(ForceOptionTest, RunningArchiveIsNotTakenOver) {
    ASSERT_EQ(mkfifo((scratch / "pelo/install/mkdb").c_str(), 0600), 0);
    const pid_t first = start(false, true, "first");
    ASSERT_GT(first, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!(archiveSet() >= 0 && semctl(archiveSet(), 0, GETPID) == first) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(semctl(archiveSet(), 0, GETPID), first) << "the first run did not mark its set";

    const pid_t second = start(true, false, "second");
    int status = 0;
    ASSERT_EQ(waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    // After the dialog's last prompt: the force option's warning, then whose the set is.
    const std::string output = read("second");
    std::string held = msgGet(1313, (scratch / "home").c_str());
    held += msgFormat(1394);
    held += msgGet(1706, std::to_string(first).c_str());
    EXPECT_NE(output.find(held), std::string::npos) << output;
    EXPECT_NE(output.find("process " + std::to_string(first) + ","), std::string::npos) << output;
    EXPECT_GE(archiveSet(), 0) << "the refused run removed the first run's set";

    kill(first, SIGTERM);
    ASSERT_EQ(waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_LT(archiveSet(), 0) << "the first run removes its own set";
}

}  // namespace
}  // namespace pelo
