#include "spawn.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelo::family {
namespace {

[[noreturn]] void execChild(const std::string& directory, const std::vector<std::string>& argv, int out) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 ||
        chdir(directory.c_str()) != 0)
        _exit(127);
    execv(args[0], args.data());
    _exit(127);
}

}  // namespace

int runTool(const std::string& directory, const std::vector<std::string>& argv, std::string& output) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0)
        execChild(directory, argv, pipeFds[1]);
    close(pipeFds[1]);
    output.clear();
    char block[4096];
    ssize_t got;
    while (pid > 0 && (got = read(pipeFds[0], block, sizeof block)) > 0)
        output.append(block, std::size_t(got));
    close(pipeFds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace pelo::family
