#include "informix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "script.h"

extern char** environ;

namespace pelo::reload {
namespace {

/// $1 stands unquoted in the script, so the shell would split it or
/// expand a pattern in it: only a path of these characters passes whole.
bool isPlainPath(std::string_view path) {
    return !path.empty() && path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                   "0123456789/._+-") == std::string_view::npos;
}

/// A scratch directory, removed with what it holds.
class ScratchDir {
public:
    ScratchDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && isPlainPath(tmp) ? tmp : "/tmp") + "/reload.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw ReloadError("cannot make a scratch directory: " + std::string(std::strerror(errno)));
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

/// Our environment, with the family database and the login isql takes.
std::vector<std::string> childEnvironment(const InformixRun& run) {
    std::vector<std::pair<std::string, std::string>> settings = {{"PELO_DB", run.target}};
    if (!run.login.empty())
        settings.emplace_back("PGUSER", run.login);
    if (!run.password.empty())
        settings.emplace_back("PGPASSWORD", run.password);
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (std::none_of(settings.begin(), settings.end(),
                         [&](const auto& setting) { return text.substr(0, text.find('=')) == setting.first; }))
            env.emplace_back(text);
    }
    for (const auto& [name, value] : settings)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts)
        out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

/// Runs /bin/sh with the arguments and environment, input at end of file
/// and both output streams appended to output.  Its exit status, or -1
/// when a signal ended it.
int runShell(std::vector<std::string> argv, std::vector<std::string> env, const std::string& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, "/bin/sh", &actions, nullptr, pointers(argv).data(), pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw ReloadError("cannot run /bin/sh: " + std::string(std::strerror(failed)));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw ReloadError("cannot wait for /bin/sh: " + std::string(std::strerror(errno)));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

void runInformixScript(const InformixRun& run) {
    const ScratchDir scratch;
    std::string home = run.productHome;
    if (home.empty()) {
        home = scratch.path();
        if (mkdir((home + "/bin").c_str(), 0755) != 0 || symlink(PELO_ISQL, (home + "/bin/isql").c_str()) != 0)
            throw ReloadError("cannot make a product home in " + home);
    }
    if (!isPlainPath(home))
        throw ReloadError("the product home " + home + " holds characters the shell would split or expand");
    const std::string output = scratch.path() + "/isql.out";
    const int status =
        runShell({"sh", run.script, home, "family", output, run.archiveDir}, childEnvironment(run), output);
    if (status != 0) {
        std::ifstream in(output);
        throw ReloadError(std::string(scriptName) + ": the shell ended with status " + std::to_string(status) +
                          "; the tool said:\n" +
                          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
}

}  // namespace pelo::reload
