// The command runner: every outside program runs as a shell command line in
// a child process, with its standard output and standard error captured.
// Each call returns how the child ended with what it wrote; the runner
// reports its own failures as text in the error buffer.  What counts as a
// failed run of a tool is decided by the tool policies
// (support/toolPolicy.h), not by the callers.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/commandLine.h"

namespace pelo {

inline constexpr std::size_t stdOutBufSize = 61440;
inline constexpr std::size_t stdErrBufSize = 16384;

/// Run-wide capture buffers used by most callers.
extern char stdOutBuf[stdOutBufSize];
extern char stdErrBuf[stdErrBufSize];

/// Process id of the child most recently started by either form.
extern pid_t gc_pid;

/// How a command ended: its exit status, or the signal that ended it; or
/// neither (unknown) when the runner failed before it could tell, and its
/// text is then in the error buffer.
struct Ending {
    enum class Kind { exited, signalled, unknown };
    Kind kind = Kind::unknown;
    int number = 0;  ///< the exit status, or the signal

    bool succeeded() const { return kind == Kind::exited && number == 0; }
};

/// One run of a command: how it ended and what it wrote, as views of the
/// caller's buffers, valid until they are written again.
struct CommandResult {
    Ending ending;
    std::string_view out;
    std::string_view err;
};

/// Runs "/usr/bin/sh -c command" with standard input at end of file and
/// captures at most size - 1 bytes of each stream into the caller's
/// buffers, which are always left terminated.  One byte more on either
/// stream empties the output buffer and puts the overflow message
/// (0011-153 / 0011-154) in the error buffer.  Waits on the pipes and on
/// the end of the child; never sleeps between polls.  All descriptors it
/// makes are closed before it returns.
///
/// Where words are given, they are the line's plain words: their program
/// is started directly, without the shell's own process in between, and
/// the line goes to the shell only when that start fails (a built-in such
/// as cd, a program that cannot be run).
///
/// Buffers of size 0 are never written.  A null command starts nothing,
/// leaves both buffers empty and ends with status 1.  Runner failures
/// (pipe, process, read, an end of the child that cannot be learned) and a
/// shell that cannot be executed (message 1294, ": " and the system's
/// reason) end unknown, with their text in the error buffer and the output
/// buffer empty.  The child is collected when it ends, except after an
/// overflow or a failed read: it is left to run on against closed pipes.
/// Output that a background process of the command writes after the
/// command itself has ended is not waited for.
CommandResult send_command(const char* command, char* outBuf, std::size_t outSize, char* errBuf,
                           std::size_t errSize, const std::vector<std::string>* words = nullptr);

/// The same for a line built by CommandLine, the form every caller in the
/// utility uses, so that each value in it is one quoted word.
inline CommandResult send_command(const CommandLine& command, char* outBuf, std::size_t outSize, char* errBuf,
                                  std::size_t errSize) {
    return send_command(command.c_str(), outBuf, outSize, errBuf, errSize, command.plainWords());
}

/// The same into the run-wide capture buffers.
inline CommandResult send_command(const CommandLine& command) {
    return send_command(command, stdOutBuf, stdOutBufSize, stdErrBuf, stdErrBufSize);
}

struct PendingState;

/// A command started now whose result is collected later (start_command).
/// Several may run at once; while one is waited for, the streams of all
/// of them are read, so none can stall on a full pipe.  Movable, not
/// copyable.  Dropping one that has not ended (destruction, assignment)
/// kills its process group and collects the child: nothing is left behind.
/// Every pending command is to be finished or dropped before
/// send_command_no_pipes, whose wait takes any child.
class PendingCommand {
public:
    PendingCommand();
    PendingCommand(PendingCommand&&) noexcept;
    PendingCommand& operator=(PendingCommand&&) noexcept;
    PendingCommand(const PendingCommand&) = delete;
    PendingCommand& operator=(const PendingCommand&) = delete;
    ~PendingCommand();

    /// True when nothing runs any more: its child has ended and is
    /// collected, or it failed, or it holds no command.  Learns nothing
    /// new by itself (see pollPendingCommands).
    bool ended() const;

    /// Waits, in poll, until it has ended.
    void wait();

    /// Waits, then leaves in the caller's buffers exactly what send_command
    /// would have left there and returns the same result; the command is
    /// then released.  Buffers are given the sizes passed to start_command.
    /// A command not held gives an unknown ending and writes nothing.
    CommandResult finish(char* outBuf, std::size_t outSize, char* errBuf, std::size_t errSize);

private:
    friend PendingCommand start_command(const CommandLine& command, std::size_t outSize, std::size_t errSize);
    explicit PendingCommand(std::unique_ptr<PendingState> state);
    void drop();

    std::unique_ptr<PendingState> state_;
};

/// Starts the command at once and returns without waiting: the same child,
/// captures of at most outSize - 1 and errSize - 1 bytes, overflow and
/// failure messages as send_command, with two differences: the child has a
/// process group of its own, so that a signal from the terminal does not
/// reach it, and after an overflow or a failed read it is killed and
/// collected rather than left to run on.  A failure to start gives a
/// command that has already ended, its text in the error capture.
PendingCommand start_command(const CommandLine& command, std::size_t outSize, std::size_t errSize);

/// Reads what every pending command has written and notes the ends that
/// have come, without waiting.
void pollPendingCommands();

/// Kills and collects the child of every pending command; for the exit
/// paths, which leave through exit() past the commands' owners.
void endPendingCommands();

/// Runs the command on the user's terminal and waits for a child to end.
/// errBuf (at least stdErrBufSize bytes) is written only when the runner
/// itself fails, and the ending is then unknown; the caller empties it
/// beforehand.  Any ended child satisfies the wait: one that an overflow
/// left behind is collected instead and reported as 0011-003.
Ending send_command_no_pipes(const char* command, char* errBuf);
inline Ending send_command_no_pipes(const CommandLine& command, char* errBuf) {
    return send_command_no_pipes(command.c_str(), errBuf);
}

/// Child side of send_command_no_pipes: executes the command; never returns.
[[noreturn]] void execCmdChild(const char* command);

/// Parent side of send_command_no_pipes: waits for any child.
Ending execCmdParent(pid_t pid, char* errBuf);

}  // namespace pelo
