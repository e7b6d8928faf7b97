// A bounded set of commands started ahead of their use: they run a few at
// a time while the caller goes on, and each result is taken by name when
// the caller comes to it, in whatever order the commands ended.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "support/commandLine.h"
#include "support/runner.h"

namespace pelo {

/// The number of processors online; at least 1.
std::size_t processorCount();

/// Commands queued by key, of which at most limit run at a time, started
/// in the order queued.  A command whose result is waiting to be taken no
/// longer counts against the limit.  Destroying the pool drops every
/// command not taken: queued ones never start, running ones are killed
/// and collected (PendingCommand).
class CommandPool {
public:
    explicit CommandPool(std::size_t limit = processorCount());

    /// Queues the command under key and starts what the limit allows; the
    /// sizes are those of the buffers take will be given.  A key already
    /// queued and not taken keeps its first command.
    void submit(const std::string& key, const CommandLine& command, std::size_t outSize, std::size_t errSize);

    /// True when key is queued and not yet taken.
    bool holds(const std::string& key) const;

    /// Waits for key's command, starting it first if it has not started,
    /// and leaves its result in the buffers as PendingCommand::finish does.
    /// Nothing when key is not held.
    std::optional<CommandResult> take(const std::string& key, char* outBuf, std::size_t outSize, char* errBuf,
                                      std::size_t errSize);

    /// How many of the pool's children run now.
    std::size_t running() const;

private:
    struct Job {
        std::string key;
        CommandLine command;
        std::size_t outSize;
        std::size_t errSize;
        bool started = false;
        PendingCommand run;
    };

    void startWhatFits();

    std::size_t limit_;
    std::deque<Job> jobs_;  // in the order queued
};

}  // namespace pelo
