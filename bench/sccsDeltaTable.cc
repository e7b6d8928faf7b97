// Listing the deltas of every history with the delta table reader against
// one prs run per history through the command runner, as the clean-up
// lists them.  Every s-file below the directory (a family's vc/) is read
// once beforehand, so both find the files in the file cache; each side's
// time includes reading the files.  Every list the reader gives is also
// compared with the one prs printed.
//
//   sccsDeltaTable DIR [TOOLDIR]     (TOOLDIR: where prs is, else $PELO_VCBIN)
//
// Prints  histories=N reader_ms=... prs_ms=... ratio=... declined=N differing=N
// where ratio is prs_ms / reader_ms.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/commandLine.h"
#include "support/runner.h"
#include "vc/sccsDeltaTable.h"
#include "vc/vcLog.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::string> histories(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename().string().starts_with("s."))
            found.push_back(entry.path().string());
    return found;
}

/// prs's list, or nullopt when it said anything on standard error.
std::optional<std::vector<std::string>> prsList(const std::string& tools, const std::string& history) {
    const pelo::CommandResult run =
        pelo::send_command(pelo::CommandLine().quoted(tools + "/prs").text(" -e -d:I:").arg(history));
    if (!run.err.empty() || !run.ending.succeeded())
        return std::nullopt;
    return pelo::prsSidLines(run.out);
}

}  // namespace

int main(int argc, char** argv) {
    const char* tools = argc > 2 ? argv[2] : std::getenv("PELO_VCBIN");
    if (argc < 2 || tools == nullptr) {
        std::fprintf(stderr, "usage: sccsDeltaTable DIR [TOOLDIR]\n");
        return 2;
    }
    const std::vector<std::string> files = histories(argv[1]);
    for (const std::string& file : files)
        (void)pelo::sccsDeltaSidsOfFile(file);

    std::vector<std::optional<std::vector<std::string>>> read;
    auto start = Clock::now();
    for (const std::string& file : files)
        read.push_back(pelo::sccsDeltaSidsOfFile(file));
    const double readerMs = millisecondsSince(start);

    std::vector<std::optional<std::vector<std::string>>> printed;
    start = Clock::now();
    for (const std::string& file : files)
        printed.push_back(prsList(tools, file));
    const double prsMs = millisecondsSince(start);

    int declined = 0, differing = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        declined += !read[i];
        differing += read[i] && read[i] != printed[i];
    }
    std::printf("histories=%zu reader_ms=%.1f prs_ms=%.1f ratio=%.0f declined=%d differing=%d\n", files.size(),
                readerMs, prsMs, readerMs > 0 ? prsMs / readerMs : 0.0, declined, differing);
    return differing == 0 ? 0 : 1;
}
