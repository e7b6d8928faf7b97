#include "support/commandPool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/runner.h"

namespace pelo {
namespace {

CommandLine script(const std::string& text) { return CommandLine("sh -c").arg(text); }

struct PoolResult {
    std::string out;
    std::string err;
    Ending::Kind kind;
    int number;

    bool operator==(const PoolResult&) const = default;
};

PoolResult poolResult(const CommandResult& result) {
    return {std::string(result.out), std::string(result.err), result.ending.kind, result.ending.number};
}

// No child of the test process is left, running or unreaped.
bool noChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

// A command started ahead must leave exactly what send_command leaves:
// both streams, the ending, the overflow and failure texts.
TEST(CommandPoolTest, StartedAheadLeavesWhatSendCommandLeaves) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t outSize;
        std::size_t errSize;
    };
    const std::vector<Case> cases = {
        {"bothStreamsAndSignal", "echo out; echo err >&2; kill -9 $$", 64, 64},
        {"manyChunksOnBothStreams", "seq 1 40000; seq 1 20000 >&2", 1 << 20, 1 << 20},
        {"outputOverflows", "head -c 5000 /dev/zero | tr '\\0' x", 4096, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> out(c.outSize, '#'), err(c.errSize, '#');
        PendingCommand pending = start_command(script(c.text), c.outSize, c.errSize);
        const PoolResult ahead = poolResult(pending.finish(out.data(), c.outSize, err.data(), c.errSize));
        EXPECT_TRUE(noChildLeft());
        EXPECT_EQ(ahead, poolResult(send_command(script(c.text), out.data(), c.outSize, err.data(), c.errSize)));
        // send_command leaves the child of an overflow running on.
        while (waitpid(-1, nullptr, 0) > 0) {
        }
    }
}

// Results go by key, whichever command ended first, and no more than the
// limit run at once.
TEST(CommandPoolTest, ResultsByKeyWhateverOrderTheyEnd) {
    CommandPool pool(2);
    pool.submit("slow", script("sleep 0.3; echo slow"), 64, 64);
    pool.submit("fast", script("echo fast"), 64, 64);
    pool.submit("queued", script("echo queued >&2; exit 4"), 64, 64);
    EXPECT_LE(pool.running(), 2u);
    char out[64], err[64];
    for (auto [key, expected] : {std::pair{"queued", PoolResult{"", "queued\n", Ending::Kind::exited, 4}},
                                 {"slow", PoolResult{"slow\n", "", Ending::Kind::exited, 0}},
                                 {"fast", PoolResult{"fast\n", "", Ending::Kind::exited, 0}}}) {
        SCOPED_TRACE(key);
        auto result = pool.take(key, out, sizeof out, err, sizeof err);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(poolResult(*result), expected);
        EXPECT_FALSE(pool.holds(key));
    }
    EXPECT_FALSE(pool.take("fast", out, sizeof out, err, sizeof err).has_value());
    EXPECT_TRUE(noChildLeft());
}

// Whatever runs when its owner goes, or when the run ends through exit(),
// is killed and collected.
TEST(CommandPoolTest, NothingIsLeftBehind) {
    {
        CommandPool pool(2);
        for (const char* key : {"a", "b", "c"})
            pool.submit(key, script("sleep 30 & sleep 30; wait"), 64, 64);
        EXPECT_EQ(pool.running(), 2u);
    }
    EXPECT_TRUE(noChildLeft());

    PendingCommand first = start_command(script("sleep 30"), 64, 64);
    PendingCommand second = start_command(script("sleep 30"), 64, 64);
    endPendingCommands();
    EXPECT_TRUE(first.ended());
    EXPECT_TRUE(second.ended());
    EXPECT_TRUE(noChildLeft());
}

}  // namespace
}  // namespace pelo
