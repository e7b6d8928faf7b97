// What the fuzz targets share: a scratch directory of their own, files
// written whole, the locale's characters of a text, and the check that
// ends a run on a broken promise.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pelo::fuzz {

/// A fresh directory, made when the target starts and removed with
/// everything in it when the fuzzer exits normally.  A crash leaves it
/// behind for a look at what the input made.  It is made in memory
/// (/dev/shm) where the system has that: the targets write and remove
/// files for every input, which a disk file system makes the slowest part.
class ScratchDir {
public:
    explicit ScratchDir(std::string_view name) {
        std::error_code error;
        const char* root = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(root) + "/pelo-fuzz-" + std::string(name) + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

/// Replaces the file's contents by the bytes; aborts when it cannot, since
/// every later check would then test the wrong input.
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && std::fclose(file) != 0)
        written = false;
    if (!written) {
        std::perror(path.c_str());
        std::abort();
    }
}

/// The names in a directory, "." and ".." left out.
inline std::set<std::string> entries(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

/// Where each character of the locale in the text ends (the offset just
/// past it; a NUL counts as one character), in order; nothing when a byte
/// sequence in it is no character.
inline std::optional<std::vector<std::size_t>> characterEnds(std::string_view text) {
    std::vector<std::size_t> ends;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = std::mbrtowc(nullptr, text.data() + at, text.size() - at, &state);
        if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2))
            return std::nullopt;
        at += length == 0 ? 1 : length;
        ends.push_back(at);
    }
    return ends;
}

/// Ends the run as a crash, naming the promise the input broke, so that
/// libFuzzer keeps the input.
inline void require(bool kept, const char* promise) {
    if (kept)
        return;
    std::fprintf(stderr, "pelo fuzz: broken: %s\n", promise);
    std::abort();
}

/// The input as text.
inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace pelo::fuzz
