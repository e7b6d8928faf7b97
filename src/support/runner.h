// The command runner: every outside program runs as a shell command line in
// a child process, with its standard output and standard error captured.
// Each call returns how the child ended with what it wrote; the runner
// reports its own failures as text in the error buffer.  What counts as a
// failed run of a tool is decided by the tool policies
// (support/toolPolicy.h), not by the callers.
#pragma once

#include <sys/types.h>

#include <cstddef>
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
