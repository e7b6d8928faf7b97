// Preloaded into a run of the utility by the read-back tests, to change its
// archive between the writing and the read-back before removal.  The run
// forces its archive onto the medium with syncfs just before it reads it
// back; the first syncfs here first does PELO_TAMPER_ACTION ("change" one
// byte in the middle, or "delete") to PELO_TAMPER_FILE, or, when that
// names a directory, to the first regular file below it in path order,
// and writes the path it chose to PELO_TAMPER_REPORT.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string victim(const std::string& named) {
    if (!fs::is_directory(named))
        return named;
    std::string first;
    for (const auto& entry : fs::recursive_directory_iterator(named))
        if (entry.is_regular_file() && (first.empty() || entry.path().string() < first))
            first = entry.path().string();
    return first;
}

void changeOneByte(const std::string& path, off_t size) {
    chmod(path.c_str(), 0644);
    const int fd = open(path.c_str(), O_RDWR);
    char byte = 0;
    if (fd >= 0 && pread(fd, &byte, 1, size / 2) == 1) {
        byte ^= 1;
        if (pwrite(fd, &byte, 1, size / 2) != 1)
            std::abort();
    }
    close(fd);
}

void tamper(const char* action, const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return;
    if (action == std::string("change"))
        changeOneByte(path, st.st_size);
    else if (action == std::string("delete"))
        unlink(path.c_str());
}

}  // namespace

extern "C" int syncfs(int fd) {
    static bool done = false;
    const char* action = std::getenv("PELO_TAMPER_ACTION");
    const char* named = std::getenv("PELO_TAMPER_FILE");
    if (!done && action != nullptr && named != nullptr) {
        done = true;
        const std::string path = victim(named);
        tamper(action, path);
        if (const char* report = std::getenv("PELO_TAMPER_REPORT"))
            std::ofstream(report) << path;
    }
    return static_cast<int>(syscall(SYS_syncfs, fd));
}
