#include "support/runner.h"
#include "support/msg.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace pelo {
namespace {

namespace fs = std::filesystem;

struct Captured {
    std::string out;
    std::string err;
    Ending ending;
};

// The text up to the terminator, which must lie inside the buffer.
std::string terminated(const char* buffer, std::size_t size) {
    std::size_t length = strnlen(buffer, size);
    EXPECT_LT(length, size) << "buffer left without its terminating zero";
    return std::string(buffer, length);
}

// Runs the command into buffers of the given sizes, filled with junk first
// so that a buffer the runner forgets to empty or terminate shows.
Captured run(const char* command, std::size_t outSize = stdOutBufSize, std::size_t errSize = stdErrBufSize) {
    std::vector<char> out(outSize, '#');
    std::vector<char> err(errSize, '#');
    const Ending ending = send_command(command, out.data(), outSize, err.data(), errSize).ending;
    return {terminated(out.data(), outSize), terminated(err.data(), errSize), ending};
}

std::string overflowText(bool errorStream, const std::string& command) {
    return msgGet(errorStream ? 1670 : 1669, command.c_str());
}

// 20 000 numbered lines on standard output, every second one echoed on
// standard error: each stream is far larger than a pipe holds, so a runner
// that reads one pipe to its end while the other fills would hang.
const char* const manyLinesCommand =
    "seq 0 19999 | awk '{ print \"out \" $1; if ($1 % 2 == 0) print \"err \" $1 > \"/dev/stderr\" }'";

bool manyLinesArriveInOrder() {
    std::string out, err;
    for (int i = 0; i < 20000; ++i) {
        out += "out " + std::to_string(i) + "\n";
        err += i % 2 == 0 ? "err " + std::to_string(i) + "\n" : "";
    }
    Captured got = run(manyLinesCommand, 1 << 20, 1 << 20);
    return got.out == out && got.err == err;
}

// Runs the scenario in a forked process, so that descriptor limits, system
// call filters and stray children stay there.  Its result is the exit
// status: 0 passed, 77 could not be set up, anything else failed.
int inChild(const std::function<int()>& scenario) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(scenario());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#define EXPECT_CHILD_PASSES(...)                                          \
    do {                                                                  \
        int status = inChild(__VA_ARGS__);                                \
        if (status == 77)                                                 \
            GTEST_SKIP() << "system call filters are not available here"; \
        EXPECT_EQ(status, 0);                                             \
    } while (0)

int check(bool passed, const char* what) {
    if (!passed)
        std::fprintf(stderr, "failed in the child: %s\n", what);
    return passed ? 0 : 1;
}

// From here on the system call fails with the error instead of running.
bool denySyscall(long number, int error) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(number), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

std::set<int> openDescriptors(bool inheritableOnly) {
    std::set<int> fds;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        int fd = std::stoi(entry.path().filename().string());
        int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && (!inheritableOnly || (flags & FD_CLOEXEC) == 0))
            fds.insert(fd);
    }
    return fds;
}

// The child's end is seen through a pidfd or, where there is none, through
// SIGCHLD.
TEST(RunnerTest, ManyChunksOnBothStreamsArriveWholeAndInOrder) {
    EXPECT_TRUE(manyLinesArriveInOrder());
    EXPECT_CHILD_PASSES([] {
        if (!denySyscall(SYS_pidfd_open, ENOSYS))
            return 77;
        Captured quick = run("printf done; exit 4", 100, 100);
        return check(manyLinesArriveInOrder(), "many lines") +
               check(quick.out == "done" && quick.err.empty(), "quick command");
    });
}

TEST(RunnerTest, BuffersHoldSizeLessOneAndOneMoreByteOverflows) {
    for (bool onError : {false, true}) {
        const std::size_t size = onError ? 300 : 2500;
        // The other stream carries a little text, which an overflow drops
        // from the output buffer and replaces in the error buffer.
        auto command = [&](std::size_t bytes) {
            return std::string(onError ? "printf kept; " : "printf kept >&2; ") + "head -c " +
                   std::to_string(bytes) + " /dev/zero | tr '\\0' a" + (onError ? " >&2" : "");
        };
        SCOPED_TRACE(onError ? "on stderr" : "on stdout");
        Captured whole = run(command(size - 1).c_str(), 2500, 300);
        EXPECT_EQ(onError ? whole.err : whole.out, std::string(size - 1, 'a'));
        EXPECT_EQ(onError ? whole.out : whole.err, "kept");

        std::string over = command(size);
        Captured lost = run(over.c_str(), 2500, 300);
        EXPECT_EQ(lost.out, "");
        EXPECT_EQ(lost.err, overflowText(onError, over));
    }
    const char* tooMuch = "head -c 5000 /dev/zero";
    EXPECT_EQ(run(tooMuch, 100, 64).err, overflowText(false, tooMuch).substr(0, 63)) << "cut to a tiny error buffer";
}

// A program started without the shell reports its signal itself (the
// tool policies' table covers statuses through the shell); a null command
// starts nothing and fails.
TEST(RunnerTest, DirectStartGivesTheSignalAndNullCommandFails) {
    const std::vector<std::string> words = {"sh", "-c", "kill -TERM $$"};
    const CommandResult killed =
        send_command("sh -c 'kill -TERM $$'", stdOutBuf, stdOutBufSize, stdErrBuf, stdErrBufSize, &words);
    EXPECT_EQ(killed.ending.kind, Ending::Kind::signalled);
    EXPECT_EQ(killed.ending.number, SIGTERM);
    const Captured null = run(nullptr);
    EXPECT_EQ(null.ending.kind, Ending::Kind::exited);
    EXPECT_EQ(null.ending.number, 1);
    EXPECT_EQ(null.out + null.err, "");
}

TEST(RunnerTest, PlainRunsLeaveWhatTheCommandWrote) {
    const std::string tooLong(200000, ':');  // beyond what exec takes in one argument
    const struct {
        const char* name;
        std::string command;
        std::string out;
        std::string err;
        int runs = 1;
    } cases[] = {
        {"StandardInputIsAtEndOfFile", "cat; wc -c; echo read=$?", "0\nread=0\n", ""},
        // Waiting for the pipes to close would collect "late" as well.
        {"BackgroundGrandchildDoesNotHoldTheCallOpen", "(sleep 2; echo late; echo late >&2) & echo early",
         "early\n", ""},
        // Several chunks on each stream are still in the pipes when the end
        // of the child is noticed.
        {"OutputWrittenJustBeforeExitIsCollected", "printf %3000s x; printf %2000s y >&2; exit 1",
         std::string(2999, ' ') + "x", std::string(1999, ' ') + "y", 20},
        {"ShellThatCannotStartSaysWhyOnTheErrorBuffer", tooLong, "",
         std::string("peloarchive or pelorestore error has occurred: ") + strerrordesc_np(E2BIG) + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < c.runs; ++i) {
            Captured got = run(c.command.c_str(), 4096, 4096);
            ASSERT_EQ(got.out, c.out) << "run " << i;
            ASSERT_EQ(got.err, c.err) << "run " << i;
        }
    }
}

TEST(RunnerTest, NoDescriptorOutlivesACallOrReachesTheCommand) {
    std::set<int> before = openDescriptors(false);
    std::string listing;
    for (int fd = 3; fd < 64; ++fd)
        listing += "[ -e /proc/self/fd/" + std::to_string(fd) + " ] && echo " +
                   std::to_string(fd) + "; ";
    Captured seen = run((listing + "true").c_str());
    std::string inheritable;
    for (int fd : openDescriptors(true))
        if (fd > 2 && fd < 64)
            inheritable += std::to_string(fd) + "\n";
    EXPECT_EQ(seen.out, inheritable) << "the command sees a runner descriptor";
    run("head -c 500 /dev/zero", 100, 100);
    run("head -c 500 /dev/zero >&2", 100, 100);
    run(nullptr);
    EXPECT_EQ(openDescriptors(false), before);
}

TEST(RunnerTest, PipeThatCannotBeMadeIsNamedAndTheOthersClosed) {
    for (int made = 0; made < 3; ++made) {
        const std::string text = msgFormat(1295 + made);  // stdin's, stdout's, stderr's
        EXPECT_CHILD_PASSES([&] {
            close_range(3, ~0U, 0);
            rlimit limit{3 + 2 * static_cast<rlim_t>(made), 3 + 2 * static_cast<rlim_t>(made)};
            setrlimit(RLIMIT_NOFILE, &limit);
            Captured got = run("echo never");
            int ends[2];
            return check(got.out.empty() && got.err == text, text.c_str()) +
                   check(made == 0 || pipe(ends) == 0, "the pipes made before are closed");
        });
    }
}

// Started with SIGCHLD ignored, as a run may be, the children would be
// reaped before their status could be read.
TEST(RunnerTest, NoPipesFormWaitsForItsCommandAndBothFormsKeepTheStatus) {
    // In a child of its own: a child that an earlier overflow left behind
    // would be collected here instead.
    EXPECT_CHILD_PASSES([] {
        signal(SIGCHLD, SIG_IGN);
        const fs::path file = fs::temp_directory_path() / ("pelo it ran " + std::to_string(getpid()));
        std::string command = "sleep 0.2; echo done > " + shellQuote(file.string()) + "; exit 5";
        stdErrBuf[0] = '\0';
        const Ending ending = send_command_no_pipes(command.c_str(), stdErrBuf);
        std::ifstream written(file);
        std::string line;
        const bool waited = std::getline(written, line) && line == "done";
        fs::remove(file);
        const Ending piped = run("exit 6").ending;
        return check(stdErrBuf[0] == '\0', "no runner failure") + check(waited, "waited for the command") +
               check(ending.kind == Ending::Kind::exited && ending.number == 5, "no-pipes status") +
               check(piped.kind == Ending::Kind::exited && piped.number == 6, "captured status");
    });
}

// A child whose end cannot be waited for gives no status, and one that
// cannot be created runs nothing: runner failures in both forms.
TEST(RunnerTest, ForeignChildFailedWaitAndFailedForkAreRunnerFailures) {
    EXPECT_CHILD_PASSES([] {
        pid_t stray = fork();
        if (stray == 0)
            _exit(0);
        siginfo_t info;
        waitid(P_PID, stray, &info, WEXITED | WNOWAIT);  // ended, not collected
        stdErrBuf[0] = '\0';
        send_command_no_pipes("sleep 0.1", stdErrBuf);
        int foreign = check(stdErrBuf == std::string(msgFormat(1489)), "foreign child");
        if (!denySyscall(SYS_wait4, ECHILD))
            return 77;
        stdErrBuf[0] = '\0';
        const Ending ending = send_command_no_pipes("true", stdErrBuf);
        const std::string failed = msgFormat(1485);
        const Captured piped = run("echo lost");
        int waits = check(stdErrBuf == failed && ending.kind == Ending::Kind::unknown, "failed wait") +
                    check(piped.out.empty() && piped.err == failed && piped.ending.kind == Ending::Kind::unknown,
                          "failed wait, captured");
        if (!denySyscall(SYS_clone, EAGAIN) || !denySyscall(SYS_clone3, EAGAIN))
            return 77;
        const std::string notCreated = msgFormat(1298);
        const Captured never = run("echo never");
        stdErrBuf[0] = '\0';
        send_command_no_pipes("echo never", stdErrBuf);
        return foreign + waits + check(never.out.empty() && never.err == notCreated, "failed fork") +
               check(stdErrBuf == notCreated && gc_pid == -1, "failed fork, no pipes");
    });
}

}  // namespace
}  // namespace pelo
