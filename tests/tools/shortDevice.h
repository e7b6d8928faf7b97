// A device for the device archives of the tools' tests: a regular file
// whose name the dialog takes.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace pelo::testing {

/// A device name the dialog takes: "/tmp/", two characters, "/dev/r0", 14
/// of the 15 characters it allows.  The directory goes with the object.
class ShortDevice {
public:
    ShortDevice() {
        const char* digits = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int tries = 0; dir_.empty() && tries < 4096; ++tries) {
            const std::string dir = std::string("/tmp/") + digits[std::rand() % 36] + digits[std::rand() % 36];
            if (mkdir(dir.c_str(), 0700) == 0)
                dir_ = dir;
        }
        if (!dir_.empty())
            std::filesystem::create_directory(dir_ + "/dev");
    }
    ShortDevice(const ShortDevice&) = delete;
    ShortDevice& operator=(const ShortDevice&) = delete;
    ~ShortDevice() {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    std::string dir() const { return dir_; }
    std::string path() const { return dir_ + "/dev/r0"; }

private:
    std::string dir_;
};

}  // namespace pelo::testing
