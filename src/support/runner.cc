#include "support/runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "support/msg.h"
#include "support/util.h"

extern char** environ;

namespace pelo {

char stdOutBuf[stdOutBufSize];
char stdErrBuf[stdErrBufSize];
pid_t gc_pid = 0;

namespace {

// Catalogue numbers of the runner's own failure texts.
constexpr int msgExecFailed = 1294;    // the child's line when the shell cannot start
constexpr int msgNoStdinPipe = 1295;   // 0010-900
constexpr int msgNoStdoutPipe = 1296;  // 0010-901
constexpr int msgNoStderrPipe = 1297;  // 0010-902
constexpr int msgNoFork = 1298;        // 0010-903
constexpr int msgStderrUnread = 1299;  // 0010-904
constexpr int msgStdoutUnread = 1300;  // 0010-905
constexpr int msgWaitFailed = 1485;    // 0011-002
constexpr int msgOtherChild = 1489;    // 0011-003
constexpr int msgStdoutFull = 1669;    // 0011-153
constexpr int msgStderrFull = 1670;    // 0011-154

constexpr std::size_t chunkSize = 1024;

// Without any descriptor to wait on, the end of the child is looked for at
// this interval (milliseconds).  Only reached when the process is out of
// descriptors.
constexpr int childCheckInterval = 10;

/// Owns one descriptor and closes it once; movable, not copyable.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd readEnd;
    Fd writeEnd;
};

// A program started with descriptor 0, 1 or 2 closed gets pipe ends there,
// and the child's dup2 onto 0, 1 and 2 would then overwrite one end with
// another.  Every end is therefore kept above 2.
int aboveStandardStreams(int fd) {
    if (fd < 0 || fd > 2)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

/// Both ends close-on-exec, so that no later child inherits them.
bool makePipe(Pipe& pipe) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    pipe.readEnd = Fd(aboveStandardStreams(ends[0]));
    pipe.writeEnd = Fd(aboveStandardStreams(ends[1]));
    return pipe.readEnd.get() >= 0 && pipe.writeEnd.get() >= 0;
}

void copyText(char* buffer, std::size_t size, const char* text) {
    if (size == 0)
        return;
    std::size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

/// A caller's buffer of size bytes filled from the start; always left
/// terminated, holding at most size - 1 bytes of text.
class Capture {
public:
    Capture(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

    void clear() {
        count_ = 0;
        if (size_ > 0)
            buffer_[0] = '\0';
    }
    void replace(const char* text) {
        copyText(buffer_, size_, text);
        count_ = size_ > 0 ? std::strlen(buffer_) : 0;
    }
    /// False, with the buffer unchanged, when the bytes would not fit.
    bool append(const char* bytes, std::size_t length) {
        if (size_ == 0 || count_ + length > size_ - 1)
            return false;
        std::memcpy(buffer_ + count_, bytes, length);
        count_ += length;
        buffer_[count_] = '\0';
        return true;
    }
    /// The captured bytes, which may hold zero bytes of their own.
    std::string_view text() const { return {buffer_, count_}; }

private:
    char* buffer_;
    std::size_t size_;
    std::size_t count_ = 0;
};

// The child's failure line when the shell cannot be executed.  Looked up
// in the parent before the fork, because the child may only do
// async-signal-safe work and the catalogue lookup is not.
const char* execFailedText = nullptr;

void lookUpChildTexts() { execFailedText = msgFormat(msgExecFailed); }

// "<text>: <system error text>\n" on standard error, written with one
// write(2) from a stack buffer: safe between fork and exec.
void reportExecFailure() {
    const char* parts[] = {execFailedText != nullptr ? execFailedText : "", ": ",
                           systemErrorText(), "\n"};
    char line[512];
    std::size_t length = 0;
    for (const char* part : parts) {
        std::size_t n = std::min(std::strlen(part), sizeof line - length);
        std::memcpy(line + length, part, n);
        length += n;
    }
    ssize_t written = write(STDERR_FILENO, line, length);
    static_cast<void>(written);
}

// A handler of the parent's (the driver's clean-up on a termination
// signal) must never run in the child between fork and exec, where it
// would remove the parent's work files.  Handled signals go back to the
// default action; ignored ones stay ignored, as a shell expects.
void resetCaughtSignals() {
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction action;
        if (sigaction(sig, nullptr, &action) != 0)
            continue;
        bool caught = (action.sa_flags & SA_SIGINFO) != 0 ||
                      (action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN);
        if (caught) {
            action.sa_handler = SIG_DFL;
            action.sa_flags = 0;
            sigaction(sig, &action, nullptr);
        }
    }
}

/// fork(2) with every signal blocked across it, so none is handled in the
/// child before its handlers are reset.  Returns what fork returned, with
/// fork's errno on failure.
pid_t forkChild() {
    std::fflush(stdout);  // progress marks waiting go before anything the child writes
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, &previous);
    pid_t pid = fork();
    int saved = errno;
    if (pid == 0)
        resetCaughtSignals();
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    return pid;
}

/// RAII for the file actions of one posix_spawn.
class SpawnActions {
public:
    SpawnActions() { ready_ = posix_spawn_file_actions_init(&actions_) == 0; }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() {
        if (ready_)
            posix_spawn_file_actions_destroy(&actions_);
    }
    bool ready() const { return ready_; }
    posix_spawn_file_actions_t* get() { return &actions_; }
    /// The pipes become the child's descriptors 0, 1 and 2.
    bool onto(const Pipe& in, const Pipe& out, const Pipe& err) {
        return ready_ && posix_spawn_file_actions_adddup2(&actions_, in.readEnd.get(), STDIN_FILENO) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, out.writeEnd.get(), STDOUT_FILENO) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, err.writeEnd.get(), STDERR_FILENO) == 0;
    }

private:
    posix_spawn_file_actions_t actions_;
    bool ready_;
};

/// Starts "/usr/bin/sh -c command" with the pipes as its descriptors 0, 1
/// and 2; every other pipe end is close-on-exec and so never reaches the
/// shell.  0 with the child's id, or the error number.
///
/// posix_spawn rather than fork: the child starts vfork-style, so starting
/// it costs the same however large the archive's lists have made this
/// process.  The C library keeps signals blocked and the parent's handlers
/// out of the child until the exec, and returns a failed exec as its
/// result instead of leaving it to the child.
int spawnShell(const char* command, const Pipe& in, const Pipe& out, const Pipe& err,
               const posix_spawnattr_t* attributes, pid_t& pid) {
    std::fflush(stdout);  // progress marks waiting go before anything the child writes
    SpawnActions actions;
    if (!actions.onto(in, out, err))
        return ENOMEM;
    char sh[] = "sh";
    char flag[] = "-c";
    char* argv[] = {sh, flag, const_cast<char*>(command), nullptr};
    return posix_spawn(&pid, "/usr/bin/sh", actions.get(), attributes, argv, environ);
}

/// Starts the program of a plain line directly, found through PATH, with
/// the same descriptors as spawnShell.  0 with the child's id, or the error
/// number (the caller then leaves the line to the shell, which says what a
/// shell says about a program it cannot run, and runs its built-ins).
int spawnProgram(const std::vector<std::string>& words, const Pipe& in, const Pipe& out, const Pipe& err,
                 const posix_spawnattr_t* attributes, pid_t& pid) {
    std::fflush(stdout);  // progress marks waiting go before anything the child writes
    SpawnActions actions;
    if (!actions.onto(in, out, err))
        return ENOMEM;
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    return posix_spawnp(&pid, argv[0], actions.get(), attributes, argv.data(), environ);
}

/// A failed start: no process (the 0010-903 case) when the system is out
/// of processes or memory, else the shell that could not be executed,
/// reported with the line its child would have printed.
std::string spawnFailureText(int spawnError) {
    if (spawnError == EAGAIN || spawnError == ENOMEM)
        return msgGet(msgNoFork);
    errno = spawnError;
    return std::string(msgFormat(msgExecFailed)) + ": " + systemErrorText() + "\n";
}

// Write end of the SIGCHLD self-pipe while one is installed, else -1.
volatile sig_atomic_t childEndedFd = -1;

extern "C" void noteChildEnded(int) {
    int saved = errno;
    if (childEndedFd >= 0) {
        char byte = 0;
        ssize_t written = write(childEndedFd, &byte, 1);
        static_cast<void>(written);
    }
    errno = saved;
}

/// The end of a child seen through a SIGCHLD handler that writes to a
/// pipe, for kernels without pidfd_open.  Installed for one command and
/// put back as it was found when destroyed.  Any child's end wakes the
/// poll (one left behind by an earlier overflow, say); ChildWatch::ended
/// then asks about its own child only.
class ChildEndedPipe {
public:
    ChildEndedPipe() {
        Pipe pipe;
        if (!makePipe(pipe))
            return;
        fcntl(pipe.readEnd.get(), F_SETFL, O_NONBLOCK);
        fcntl(pipe.writeEnd.get(), F_SETFL, O_NONBLOCK);
        childEndedFd = pipe.writeEnd.get();
        struct sigaction action {};
        action.sa_handler = noteChildEnded;
        action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
        sigemptyset(&action.sa_mask);
        sigaction(SIGCHLD, &action, &previous_);
        pipe_ = std::move(pipe);
        // The child may have ended before the handler was in place: one
        // byte up front makes the first poll look.
        noteChildEnded(SIGCHLD);
    }
    ChildEndedPipe(const ChildEndedPipe&) = delete;
    ChildEndedPipe& operator=(const ChildEndedPipe&) = delete;
    ~ChildEndedPipe() {
        if (pipe_.readEnd.get() < 0)
            return;
        sigaction(SIGCHLD, &previous_, nullptr);
        childEndedFd = -1;
    }

    int fd() const { return pipe_.readEnd.get(); }
    void clear() {
        char bytes[64];
        while (read(pipe_.readEnd.get(), bytes, sizeof bytes) > 0) {
        }
    }

private:
    Pipe pipe_;
    struct sigaction previous_ {};
};

Ending endingOf(int status) {
    if (WIFEXITED(status))
        return {Ending::Kind::exited, WEXITSTATUS(status)};
    if (WIFSIGNALED(status))
        return {Ending::Kind::signalled, WTERMSIG(status)};
    return {};
}

/// For one call, children are kept until they are waited for.  A run
/// started with SIGCHLD ignored (the disposition survives exec) would
/// otherwise have its children reaped by the kernel, and no exit status
/// would ever reach the runner.
class ChildrenKept {
public:
    ChildrenKept() {
        if (sigaction(SIGCHLD, nullptr, &previous_) != 0)
            return;
        struct sigaction kept = previous_;
        kept.sa_flags &= ~SA_NOCLDWAIT;
        if ((kept.sa_flags & SA_SIGINFO) == 0 && kept.sa_handler == SIG_IGN)
            kept.sa_handler = SIG_DFL;
        if (kept.sa_flags != previous_.sa_flags || kept.sa_handler != previous_.sa_handler)
            changed_ = sigaction(SIGCHLD, &kept, nullptr) == 0;
    }
    ChildrenKept(const ChildrenKept&) = delete;
    ChildrenKept& operator=(const ChildrenKept&) = delete;
    ~ChildrenKept() {
        if (changed_)
            sigaction(SIGCHLD, &previous_, nullptr);
    }

private:
    struct sigaction previous_ {};
    bool changed_ = false;
};

/// A descriptor that becomes readable when the child has ended: a pidfd
/// (close-on-exec by nature), or the SIGCHLD self-pipe where pidfd_open
/// fails, as it does with ENOSYS on kernels before 5.3.
class ChildWatch {
public:
    explicit ChildWatch(pid_t pid) : pid_(pid) {
#ifdef SYS_pidfd_open
        pidFd_ = Fd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
#endif
        if (pidFd_.get() < 0)
            selfPipe_.emplace();
    }

    int fd() const { return selfPipe_ ? selfPipe_->fd() : pidFd_.get(); }

    /// Poll timeout: wait for events, or look at intervals when there is
    /// no descriptor to wait on.
    int timeout() const { return fd() < 0 ? childCheckInterval : -1; }

    /// True when the child has ended and is collected (its ending is then
    /// known), or when that cannot be asked (ending() stays unknown).
    bool ended() {
        if (selfPipe_)
            selfPipe_->clear();
        pid_t result;
        int status;
        do
            result = waitpid(pid_, &status, WNOHANG);
        while (result < 0 && errno == EINTR);
        if (result == pid_)
            ending_ = endingOf(status);
        return result != 0;
    }

    const Ending& ending() const { return ending_; }

private:
    pid_t pid_;
    Ending ending_;
    Fd pidFd_;
    std::optional<ChildEndedPipe> selfPipe_;
};

enum class Read { data, empty, closed, overflow, failed };

struct Stream {
    Fd fd;
    Capture& capture;
    int overflowMessage;
    int readFailedMessage;
    bool open = true;
};

/// The parent's view of one send_command: the two streams being captured.
struct Run {
    const char* command;
    Capture& out;
    Capture& err;
    Stream errStream;
    Stream outStream;

    /// Ends the call on a runner failure: the output captured so far is
    /// dropped and the error buffer holds only the text.
    void abandon(const char* text) {
        out.clear();
        err.replace(text);
    }
};

Read readChunk(Stream& stream) {
    char chunk[chunkSize];
    ssize_t length;
    do
        length = read(stream.fd.get(), chunk, sizeof chunk);
    while (length < 0 && errno == EINTR);
    if (length > 0)
        return stream.capture.append(chunk, static_cast<std::size_t>(length)) ? Read::data
                                                                              : Read::overflow;
    if (length == 0)
        return Read::closed;
    return errno == EAGAIN || errno == EWOULDBLOCK ? Read::empty : Read::failed;
}

/// One chunk of the stream into its buffer.  True while the call goes on;
/// false after an overflow or a failed read, which leave their message.
bool pumpChunk(Run& run, Stream& stream, Read& result) {
    result = readChunk(stream);
    if (result == Read::closed)
        stream.open = false;
    if (result == Read::overflow)
        run.abandon(msgGet(stream.overflowMessage, run.command));
    if (result == Read::failed)
        run.abandon(msgGet(stream.readFailedMessage));
    return result != Read::overflow && result != Read::failed;
}

pollfd pollEntry(const Stream& stream) {
    return {stream.open ? stream.fd.get() : -1, POLLIN, 0};
}

/// Reads whatever the streams deliver until the child has ended.  False
/// when the call has to end (the message is in place).  An end that
/// cannot be waited for leaves no exit status to judge the command by,
/// and is a failure of the runner like the others.
bool pumpWhileChildRuns(Run& run, ChildWatch& watch) {
    Stream* streams[] = {&run.errStream, &run.outStream};
    for (;;) {
        pollfd entries[] = {pollEntry(run.errStream), pollEntry(run.outStream),
                            {watch.fd(), POLLIN, 0}};
        if (poll(entries, 3, watch.timeout()) < 0 && errno != EINTR) {
            run.abandon(msgGet(msgWaitFailed));
            return false;
        }
        for (int i = 0; i < 2; ++i) {
            Read result;
            if (entries[i].revents != 0 && !pumpChunk(run, *streams[i], result))
                return false;
        }
        if ((watch.fd() < 0 || entries[2].revents != 0) && watch.ended()) {
            if (watch.ending().kind != Ending::Kind::unknown)
                return true;
            run.abandon(msgGet(msgWaitFailed));
            return false;
        }
    }
}

/// Everything the child wrote is in the pipes once it has ended, so reading
/// until they are empty collects it all.  A background process of the
/// command may still hold the pipes open; what it writes later is not
/// waited for.  False after an overflow or a failed read.
bool drainAfterChild(Run& run) {
    for (Stream* stream : {&run.errStream, &run.outStream}) {
        Read result = Read::data;
        while (stream->open && result == Read::data)
            if (!pumpChunk(run, *stream, result))
                return false;
    }
    return true;
}

/// -1 when the three pipes are made, else the message of the one that
/// could not be; the pipes already made close with their owners.
int makePipes(Pipe& in, Pipe& out, Pipe& err) {
    if (!makePipe(in))
        return msgNoStdinPipe;
    if (!makePipe(out))
        return msgNoStdoutPipe;
    if (!makePipe(err))
        return msgNoStderrPipe;
    return -1;
}

CommandResult resultOf(Ending ending, const char* outBuf, std::size_t outSize, const char* errBuf,
                       std::size_t errSize) {
    return {ending, outSize > 0 ? std::string_view(outBuf) : std::string_view(),
            errSize > 0 ? std::string_view(errBuf) : std::string_view()};
}

/// The two read ends of a child that runs.
struct ChildStreams {
    pid_t pid = -1;
    Fd out;
    Fd err;
};

/// Starts the command with standard input at end of file and its output
/// and error on pipes whose read ends come back, non-blocking.  Nothing,
/// with the failure's text in err, when the pipes or the child cannot be
/// made.
std::optional<ChildStreams> startChild(const char* command, const std::vector<std::string>* words, Capture& err,
                                       const posix_spawnattr_t* attributes = nullptr) {
    Pipe in, output, error;
    if (int failure = makePipes(in, output, error); failure >= 0) {
        err.replace(msgGet(failure));
        return std::nullopt;
    }
    pid_t pid = -1;
    int spawnError = words != nullptr ? spawnProgram(*words, in, output, error, attributes, pid) : ENOEXEC;
    if (spawnError != 0)
        spawnError = spawnShell(command, in, output, error, attributes, pid);
    gc_pid = spawnError == 0 ? pid : -1;
    if (spawnError != 0) {
        err.replace(spawnFailureText(spawnError).c_str());
        return std::nullopt;
    }
    // Closing the write end of the input pipe at once puts the child's
    // standard input at end of file.  Reads never block, so the parent
    // waits in poll alone and neither pipe can fill up unseen.
    fcntl(output.readEnd.get(), F_SETFL, O_NONBLOCK);
    fcntl(error.readEnd.get(), F_SETFL, O_NONBLOCK);
    return ChildStreams{pid, std::move(output.readEnd), std::move(error.readEnd)};
}

/// Runs the command into the emptied captures; the ending of send_command.
Ending runCaptured(const char* command, const std::vector<std::string>* words, Capture& out, Capture& err) {
    if (command == nullptr)
        return {Ending::Kind::exited, 1};  // what a shell without a command line would give
    std::optional<ChildStreams> child = startChild(command, words, err);
    if (!child)
        return {};
    Run run{command, out, err,
            {std::move(child->err), err, msgStderrFull, msgStderrUnread},
            {std::move(child->out), out, msgStdoutFull, msgStdoutUnread}};
    ChildWatch watch(child->pid);
    if (!pumpWhileChildRuns(run, watch) || !drainAfterChild(run))
        return {};
    return watch.ending();
}

}  // namespace

CommandResult send_command(const char* command, char* outBuf, std::size_t outSize, char* errBuf,
                           std::size_t errSize, const std::vector<std::string>* words) {
    Capture out(outBuf, outSize);
    Capture err(errBuf, errSize);
    out.clear();
    err.clear();
    ChildrenKept kept;
    const Ending ending = runCaptured(command, words, out, err);
    return resultOf(ending, outBuf, outSize, errBuf, errSize);
}

Ending send_command_no_pipes(const char* command, char* errBuf) {
    lookUpChildTexts();
    ChildrenKept kept;
    gc_pid = forkChild();
    if (gc_pid < 0) {
        copyText(errBuf, stdErrBufSize, msgGet(msgNoFork));
        return {};
    }
    if (gc_pid == 0)
        execCmdChild(command);
    return execCmdParent(gc_pid, errBuf);
}

void execCmdChild(const char* command) {
    if (command != nullptr) {
        execl("/usr/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
        reportExecFailure();
    }
    _exit(1);
}

Ending execCmdParent(pid_t pid, char* errBuf) {
    pid_t ended;
    int status;
    // A handled signal that interrupts the wait is not a failure of it.
    do
        ended = wait(&status);
    while (ended < 0 && errno == EINTR);
    if (ended == pid)
        return endingOf(status);
    copyText(errBuf, stdErrBufSize, msgGet(ended < 0 ? msgWaitFailed : msgOtherChild));
    return {};
}

// ---- Commands started now and collected later ----------------------------------

namespace {

/// While any pending command lives, its children are kept until they are
/// waited for (see ChildrenKept); the state is put back with the last.
std::optional<ChildrenKept> keptForPending;

/// The process group of a pending command: its own, so that a signal from
/// the terminal reaches the utility and the command it waits for, never
/// the commands started ahead, which the utility ends itself.
class OwnGroup {
public:
    OwnGroup() {
        ready_ = posix_spawnattr_init(&attributes_) == 0 &&
                 posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP) == 0 &&
                 posix_spawnattr_setpgroup(&attributes_, 0) == 0;
    }
    OwnGroup(const OwnGroup&) = delete;
    OwnGroup& operator=(const OwnGroup&) = delete;
    ~OwnGroup() { posix_spawnattr_destroy(&attributes_); }
    const posix_spawnattr_t* get() const { return ready_ ? &attributes_ : nullptr; }

private:
    posix_spawnattr_t attributes_;
    bool ready_;
};

}  // namespace

/// One command between start_command and its end: the child, its two
/// streams and the captures they fill.  Lives on the heap, so that the
/// registry and the streams' captures can point at it.
struct PendingState {
    PendingState(const CommandLine& command, std::size_t outSize, std::size_t errSize)
        : line(command.str()), outBuf(std::max<std::size_t>(outSize, 1)),
          errBuf(std::max<std::size_t>(errSize, 1)), out(outBuf.data(), outSize), err(errBuf.data(), errSize),
          run{line.c_str(), out, err, {Fd(), err, msgStderrFull, msgStderrUnread},
              {Fd(), out, msgStdoutFull, msgStdoutUnread}} {
        out.clear();
        err.clear();
    }

    std::string line;
    std::vector<char> outBuf;
    std::vector<char> errBuf;
    Capture out;
    Capture err;
    Run run;
    pid_t pid = -1;
    Fd pidFd;             // readable once the child has ended; -1 where the kernel has none
    bool childLive = false;  // started and not yet collected
    bool done = false;       // the result is final
    Ending ending;
};

namespace {

std::vector<PendingState*>& pendingStates() {
    static std::vector<PendingState*> states;
    return states;
}

void enlist(PendingState* state) {
    if (pendingStates().empty())
        keptForPending.emplace();
    pendingStates().push_back(state);
}

void delist(PendingState* state) {
    std::erase(pendingStates(), state);
    if (pendingStates().empty())
        keptForPending.reset();
}

/// The command is ended: its group is killed and the child collected, its
/// streams closed.  What was captured stays.
void endChild(PendingState& state) {
    state.run.errStream.fd.reset();
    state.run.outStream.fd.reset();
    state.run.errStream.open = state.run.outStream.open = false;
    if (state.childLive) {
        kill(-state.pid, SIGKILL);
        kill(state.pid, SIGKILL);
        int status;
        while (waitpid(state.pid, &status, 0) < 0 && errno == EINTR) {
        }
        state.childLive = false;
    }
    state.pidFd.reset();
    state.done = true;
}

/// Ends the command on an overflow or a runner failure: as send_command,
/// its ending is unknown and the message is in place; unlike it, the child
/// is not left to run on.
void abandonChild(PendingState& state) {
    state.ending = {};
    endChild(state);
}

/// Notes the end of the child when it has come, and collects what is left
/// in its pipes, as send_command does.
void lookForEnd(PendingState& state) {
    pid_t result;
    int status;
    do
        result = waitpid(state.pid, &status, WNOHANG);
    while (result < 0 && errno == EINTR);
    if (result == 0)
        return;
    state.childLive = false;
    if (result != state.pid) {
        state.run.abandon(msgGet(msgWaitFailed));
        abandonChild(state);
        return;
    }
    state.ending = endingOf(status);
    if (!drainAfterChild(state.run))
        state.ending = {};
    endChild(state);
}

/// One poll over the streams and ends of every pending command that runs,
/// waiting at most timeout milliseconds (-1: until something happens).
void pumpPending(int timeout) {
    std::vector<std::pair<PendingState*, Stream*>> owners;
    std::vector<pollfd> entries;
    bool timedChecks = false;
    for (PendingState* state : pendingStates()) {
        if (state->done)
            continue;
        for (Stream* stream : {&state->run.errStream, &state->run.outStream})
            if (stream->open) {
                owners.emplace_back(state, stream);
                entries.push_back({stream->fd.get(), POLLIN, 0});
            }
        owners.emplace_back(state, nullptr);
        entries.push_back({state->pidFd.get(), POLLIN, 0});
        timedChecks = timedChecks || state->pidFd.get() < 0;
    }
    if (entries.empty())
        return;
    if (timedChecks && (timeout < 0 || timeout > childCheckInterval))
        timeout = childCheckInterval;
    if (poll(entries.data(), entries.size(), timeout) < 0)
        return;  // interrupted: the caller asks again
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto [state, stream] = owners[i];
        if (state->done)
            continue;
        Read result;
        if (stream != nullptr && entries[i].revents != 0 && !pumpChunk(state->run, *stream, result))
            abandonChild(*state);
        else if (stream == nullptr && (entries[i].fd < 0 || entries[i].revents != 0))
            lookForEnd(*state);
    }
}

}  // namespace

PendingCommand start_command(const CommandLine& command, std::size_t outSize, std::size_t errSize) {
    auto state = std::make_unique<PendingState>(command, outSize, errSize);
    enlist(state.get());
    OwnGroup group;
    std::optional<ChildStreams> child = startChild(command.c_str(), command.plainWords(), state->err, group.get());
    if (!child) {
        state->done = true;
        return PendingCommand(std::move(state));
    }
    state->pid = child->pid;
    state->childLive = true;
    state->run.errStream.fd = std::move(child->err);
    state->run.outStream.fd = std::move(child->out);
#ifdef SYS_pidfd_open
    state->pidFd = Fd(static_cast<int>(syscall(SYS_pidfd_open, child->pid, 0)));
#endif
    return PendingCommand(std::move(state));
}

PendingCommand::PendingCommand() = default;
PendingCommand::PendingCommand(std::unique_ptr<PendingState> state) : state_(std::move(state)) {}
PendingCommand::PendingCommand(PendingCommand&&) noexcept = default;

PendingCommand& PendingCommand::operator=(PendingCommand&& other) noexcept {
    if (this != &other) {
        drop();
        state_ = std::move(other.state_);
    }
    return *this;
}

PendingCommand::~PendingCommand() { drop(); }

void PendingCommand::drop() {
    if (!state_)
        return;
    endChild(*state_);
    delist(state_.get());
    state_.reset();
}

bool PendingCommand::ended() const { return !state_ || state_->done; }

void PendingCommand::wait() {
    while (!ended())
        pumpPending(-1);
}

CommandResult PendingCommand::finish(char* outBuf, std::size_t outSize, char* errBuf, std::size_t errSize) {
    if (!state_)
        return {};
    wait();
    // The captured bytes and their terminator, as send_command leaves them.
    auto copyOut = [](const Capture& capture, char* buffer, std::size_t size) {
        if (size == 0)
            return;
        const std::string_view text = capture.text().substr(0, size - 1);
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = '\0';
    };
    copyOut(state_->out, outBuf, outSize);
    copyOut(state_->err, errBuf, errSize);
    const Ending ending = state_->ending;
    drop();
    return resultOf(ending, outBuf, outSize, errBuf, errSize);
}

void pollPendingCommands() { pumpPending(0); }

void endPendingCommands() {
    for (PendingState* state : pendingStates())
        endChild(*state);
}

}  // namespace pelo
