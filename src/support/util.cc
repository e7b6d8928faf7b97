#include "support/util.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <vector>

#include "support/error.h"
#include "support/msg.h"

namespace pelo {

namespace {

[[noreturn]] void exitNoMemory() { std::exit(error(msgGet(111))); }

[[noreturn]] void exitBadConversion() { std::exit(error(msgGet(1150))); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const char* systemErrorText() {
    // strerrordesc_np has no text for numbers the system never sets, where
    // strerror would make up "Unknown error N".
    const char* text = errno >= 1 ? strerrordesc_np(errno) : nullptr;
    return text != nullptr ? text : "invalid errno";
}

void* space(std::size_t size) {
    void* block = std::calloc(1, size == 0 ? 1 : size);
    if (block == nullptr)
        exitNoMemory();
    return block;
}

void installSpaceNewHandler() { std::set_new_handler(exitNoMemory); }

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    std::string_view text(value);
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;
    return std::string(text);
}

const char* itoa(int number) {
    static char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", number);
    return buffer;
}

std::optional<std::string> dirPath(std::string_view path) {
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    if (slash == 0)
        return std::string("/");
    return std::string(path.substr(0, slash));
}

std::string basePath(std::string_view path) {
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int getTempName(std::string_view path, std::string& name) {
    auto slash = path.rfind('/');
    std::string pattern(slash == std::string_view::npos ? "" : path.substr(0, slash + 1));
    pattern += "bXXXXXX";
    // mkstemp would create the file; the callers want only a free name, which
    // they create themselves with exclusive flags or pass to a command.
    int fd = mkstemp(pattern.data());
    if (fd >= 0) {
        close(fd);
        unlink(pattern.c_str());
    } else {
        // No writable directory: fall back to a name from the pid and a counter,
        // which is what mktemp would have to settle for too.
        static unsigned counter;
        char tail[16];
        std::snprintf(tail, sizeof tail, "%06u", (getpid() + counter++) % 1000000);
        pattern.replace(pattern.size() - 6, 6, tail);
    }
    name = pattern;
    return 0;
}

int openFile(int& fd, const char* path, int flags, mode_t mode) {
    fd = open(path, flags, mode);
    if (fd < 0)
        return error(msgGet(426, systemErrorText(), "open", path));
    return 0;
}

int makeDir(const char* path, mode_t mode) {
    if (mkdir(path, mode) != 0)
        return error(msgGet(110, systemErrorText(), "mkdir"));
    return 0;
}

int makePath(const char* path, mode_t mode) {
    if (path == nullptr || *path == '\0' || dirExists(path))
        return 0;
    if (auto parent = dirPath(path); parent && *parent != path)
        if (makePath(parent->c_str(), mode) != 0)
            return 1;
    return makeDir(path, mode);
}

int changeMode(const char* path, mode_t mode) {
    if (chmod(path, mode) != 0)
        return error(msgGet(426, systemErrorText(), "chmod", path));
    return 0;
}

int dirExists(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode) ? 1 : 0;
}

int fileIsThere(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 ? 1 : 0;
}

int statFile(const char* path, struct stat& status) { return stat(path, &status) == 0 ? 0 : 1; }

int getFileSize(const char* path, off_t& size) {
    struct stat status;
    if (stat(path, &status) != 0) {
        size = 0;
        return 1;
    }
    size = status.st_size;
    return 0;
}

namespace {

// The kernel's own limit on the links one lookup follows.
constexpr int maxLinksFollowed = 40;

constexpr const char* leadsOutside = " is a symbolic link that leads outside the family home";

/// The components of a path, without the empty and "." ones, which name
/// the directory they are in.
std::vector<std::string> pathParts(std::string_view path) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (const std::string_view part = path.substr(start, slash - start); !part.empty() && part != ".")
            parts.emplace_back(part);
        start = slash + 1;
    }
    return parts;
}


/// The walk of familyPathRefusal.  at_ holds the real directories reached
/// below home, so a ".." climbs the directory the kernel would climb, and
/// every lstat names a path whose directories are all real: no link below
/// home is ever followed by the kernel.
class FamilyWalk {
public:
    FamilyWalk(std::string_view home, bool wantDirectory) : home_(home), wantDirectory_(wantDirectory) {}

    std::string walk(std::string_view below) {
        push("", below);
        while (!pending_.empty()) {
            const Part part = std::move(pending_.front());
            pending_.pop_front();
            if (std::optional<std::string> verdict = step(part))
                return *verdict;
        }
        // Every component was a directory, or ".." climbed back to one.
        return wantDirectory_ ? "" : here() + " is a directory, not a regular file";
    }

private:
    /// A component still to walk, with the link whose text it came from
    /// ("" for the caller's path), which is blamed when it climbs out.
    struct Part {
        std::string name, from;
    };

    void push(const std::string& from, std::string_view text) {
        const std::vector<std::string> parts = pathParts(text);
        for (auto part = parts.rbegin(); part != parts.rend(); ++part)
            pending_.push_front({*part, from});
    }

    std::string here() const {
        std::string path(home_);
        for (const std::string& dir : at_)
            path += "/" + dir;
        return path;
    }

    /// Nothing while the walk goes on, else its verdict.
    std::optional<std::string> step(const Part& part) {
        if (part.name == "..") {
            if (at_.empty())
                return part.from.empty() ? here() + "/.. leads outside the family home" : part.from + leadsOutside;
            at_.pop_back();
            return std::nullopt;
        }
        const std::string path = here() + "/" + part.name;
        struct stat status;
        if (lstat(path.c_str(), &status) != 0)
            return errno == ENOENT ? "" : path + " cannot be examined: " + systemErrorText();
        if (S_ISLNK(status.st_mode))
            return follow(path);
        if (S_ISDIR(status.st_mode)) {
            at_.push_back(part.name);
            return std::nullopt;
        }
        if (!pending_.empty())
            return path + " is " + kindOf(status.st_mode) + ", not a directory";
        if (S_ISREG(status.st_mode))
            return wantDirectory_ ? path + " is a regular file, not a directory" : "";
        return path + " is " + kindOf(status.st_mode);
    }

    /// The link's text takes its place in the walk.
    std::optional<std::string> follow(const std::string& link) {
        if (++linksFollowed_ > maxLinksFollowed)
            return link + " is a symbolic link in a loop or in a chain of more than 40";
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(link.c_str(), target.data(), target.size());
        if (length < 0)
            return link + " cannot be examined: " + systemErrorText();
        target.resize(static_cast<std::size_t>(length));
        if (target.starts_with('/')) {
            const std::optional<std::string> below = belowHome(target);
            if (!below)
                return link + leadsOutside;
            at_.clear();
            push(link, *below);
        } else {
            push(link, target);
        }
        return std::nullopt;
    }

    /// The part of an absolute target below home, which it names as
    /// written or as the kernel resolves it; nothing when it names neither.
    std::optional<std::string> belowHome(const std::string& target) {
        const std::vector<std::string> parts = pathParts(target);
        auto remainder = [&](const std::vector<std::string>& homeParts) -> std::optional<std::string> {
            if (parts.size() < homeParts.size() || !std::equal(homeParts.begin(), homeParts.end(), parts.begin()))
                return std::nullopt;
            std::string below;
            for (auto part = parts.begin() + static_cast<std::ptrdiff_t>(homeParts.size()); part != parts.end(); ++part)
                below += *part + "/";
            return below;
        };
        if (std::optional<std::string> below = remainder(pathParts(home_)))
            return below;
        std::unique_ptr<char, decltype(&std::free)> resolved(realpath(std::string(home_).c_str(), nullptr), std::free);
        return resolved ? remainder(pathParts(resolved.get())) : std::nullopt;
    }

    std::string_view home_;
    bool wantDirectory_;
    std::vector<std::string> at_;
    std::deque<Part> pending_;
    int linksFollowed_ = 0;
};

}  // namespace

const char* kindOf(mode_t mode) {
    static constexpr std::pair<mode_t, const char*> kinds[] = {
        {S_IFREG, "a regular file"}, {S_IFDIR, "a directory"},         {S_IFIFO, "a FIFO"},
        {S_IFSOCK, "a socket"},      {S_IFCHR, "a character device"}, {S_IFBLK, "a block device"}};
    for (const auto& [type, text] : kinds)
        if ((mode & S_IFMT) == type)
            return text;
    return "a file of an unknown kind";
}

std::string familyPathRefusal(const std::string& home, const std::string& path, bool wantDirectory) {
    std::string_view top = home;
    while (top.ends_with('/'))
        top.remove_suffix(1);
    std::string_view below = path;
    if (below.starts_with('/')) {
        if (!below.starts_with(top) || (below.size() > top.size() && below[top.size()] != '/'))
            return path + " is not below the family home";
        below.remove_prefix(top.size());
    }
    return FamilyWalk(top, wantDirectory).walk(below);
}

std::wstring convertMBStoWCS(std::string_view text) {
    std::string copy(text);
    std::wstring wide(copy.size() + 1, L'\0');
    std::size_t count = std::mbstowcs(wide.data(), copy.c_str(), wide.size());
    if (count == static_cast<std::size_t>(-1))
        exitBadConversion();
    wide.resize(count);
    return wide;
}

std::string convertWCStoMBS(std::wstring_view text) {
    std::wstring copy(text);
    std::string narrow(copy.size() * MB_CUR_MAX + 1, '\0');
    std::size_t count = std::wcstombs(narrow.data(), copy.c_str(), narrow.size());
    if (count == static_cast<std::size_t>(-1))
        exitBadConversion();
    narrow.resize(count);
    return narrow;
}

std::size_t mbCharCount(std::string_view text) { return convertMBStoWCS(text).size(); }

namespace {

bool continuesUtf8Character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8CharCount(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count_if(text, [](char c) { return !continuesUtf8Character(c); }));
}

std::string_view utf8Prefix(std::string_view text, std::size_t count) {
    std::size_t started = 0;
    for (std::size_t at = 0; at < text.size(); ++at)
        if (!continuesUtf8Character(text[at]) && started++ == count)
            return text.substr(0, at);
    return text;
}

wint_t getwchar() {
    char bytes[MB_LEN_MAX];
    std::size_t length = 0;
    std::mbstate_t state{};
    for (;;) {
        int c = std::getchar();
        if (c == EOF)
            return WEOF;
        bytes[length++] = static_cast<char>(c);
        wchar_t wide;
        std::mbstate_t probe = state;
        std::size_t result = std::mbrtowc(&wide, bytes, length, &probe);
        if (result == static_cast<std::size_t>(-2) && length < sizeof bytes)
            continue;  // an incomplete character: read its next byte
        if (result == static_cast<std::size_t>(-1) || result == static_cast<std::size_t>(-2))
            return static_cast<unsigned char>(bytes[0]);  // not a character: pass the byte on
        return result == 0 ? L'\0' : static_cast<wint_t>(wide);
    }
}

const wchar_t* wcstok(const wchar_t* text, const wchar_t* delimiters) {
    static std::wstring scan;
    static std::size_t position;
    static bool scanning = false;
    if (text != nullptr) {
        scan = text;
        position = 0;
        scanning = true;
    }
    if (!scanning)
        return nullptr;
    std::size_t start = scan.find_first_not_of(delimiters, position);
    if (start == std::wstring::npos) {
        scan.clear();
        scanning = false;
        return nullptr;
    }
    std::size_t end = scan.find_first_of(delimiters, start);
    if (end == std::wstring::npos) {
        position = scan.size();
    } else {
        scan[end] = L'\0';
        position = end + 1;
    }
    return scan.c_str() + start;
}

}  // namespace pelo
