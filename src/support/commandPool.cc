#include "support/commandPool.h"

#include <unistd.h>

#include <algorithm>

namespace pelo {

std::size_t processorCount() {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::size_t>(online) : 1;
}

CommandPool::CommandPool(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {}

void CommandPool::submit(const std::string& key, const CommandLine& command, std::size_t outSize,
                         std::size_t errSize) {
    if (!holds(key))
        jobs_.push_back({key, command, outSize, errSize, false, PendingCommand()});
    startWhatFits();
}

bool CommandPool::holds(const std::string& key) const {
    return std::ranges::any_of(jobs_, [&](const Job& job) { return job.key == key; });
}

std::size_t CommandPool::running() const {
    return static_cast<std::size_t>(
        std::ranges::count_if(jobs_, [](const Job& job) { return job.started && !job.run.ended(); }));
}

void CommandPool::startWhatFits() {
    pollPendingCommands();
    std::size_t free = limit_ - std::min(limit_, running());
    for (Job& job : jobs_) {
        if (free == 0)
            break;
        if (job.started)
            continue;
        job.run = start_command(job.command, job.outSize, job.errSize);
        job.started = true;
        --free;
    }
}

std::optional<CommandResult> CommandPool::take(const std::string& key, char* outBuf, std::size_t outSize,
                                               char* errBuf, std::size_t errSize) {
    auto job = std::ranges::find_if(jobs_, [&](const Job& j) { return j.key == key; });
    if (job == jobs_.end())
        return std::nullopt;
    // Commands start in the order queued: until this one has, the oldest
    // that runs is waited for, which frees its place.
    while (!job->started) {
        auto oldest = std::ranges::find_if(jobs_, [](const Job& j) { return j.started && !j.run.ended(); });
        if (oldest != jobs_.end())
            oldest->run.wait();
        startWhatFits();
    }
    const CommandResult result = job->run.finish(outBuf, outSize, errBuf, errSize);
    jobs_.erase(job);
    startWhatFits();
    return result;
}

}  // namespace pelo
