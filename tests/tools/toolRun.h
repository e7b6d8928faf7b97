// Running the built tools from the tests: a shell command line whose
// values are quoted, its two streams captured, and its exit status.
#pragma once

#include <string>
#include <vector>

#include "support/runner.h"

namespace pelo::testing {

struct ToolRun {
    std::string out, err;
    int status = -1;
};

/// Runs the command through the shell and returns both streams and the
/// exit status (taken from a last line the shell adds to the error stream).
inline ToolRun runShell(const std::string& command) {
    std::vector<char> out(4 << 20), err(1 << 16);
    std::string line = "( " + command + " ); echo \"status=$?\" >&2";
    send_command(line.c_str(), out.data(), out.size(), err.data(), err.size());
    ToolRun run{out.data(), err.data(), -1};
    auto at = run.err.rfind("status=");
    if (at != std::string::npos) {
        run.status = std::stoi(run.err.substr(at + 7));
        run.err.erase(at);
    }
    return run;
}

inline std::string builtTool(const std::string& relative) {
    return std::string(PELO_BINARY_DIR) + "/tools/" + relative;
}

}  // namespace pelo::testing
