// What the parts of reload share: the populate script's name, and the
// one error a reload fails with.  The script itself is read by
// archive/scriptReader.h.
#pragma once

#include <stdexcept>
#include <string>

#include "archive/dialect.h"

namespace pelo::reload {

/// The populate script's name in an archive.
inline constexpr const char* scriptName = "PELOarchive.dbData";

/// Any failure of a reload; its text says what and where.
struct ReloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Throws a ReloadError naming the script's line and the reason.
[[noreturn]] inline void scriptError(int line, const std::string& reason) {
    throw ReloadError(std::string(scriptName) + " line " + std::to_string(line) + ": " + reason);
}

}  // namespace pelo::reload
