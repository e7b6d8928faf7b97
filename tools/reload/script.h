// What the parts of reload share: the populate script's name, and the
// one error a reload fails with.  The loading itself is
// archive/scriptReload.h's.
#pragma once

#include <string>

#include "archive/scriptReload.h"

namespace pelo::reload {

inline constexpr const char* scriptName = populateScriptName;
using pelo::ReloadError;

/// Throws a ReloadError naming the script's line and the reason.
[[noreturn]] inline void scriptError(int line, const std::string& reason) {
    throw ReloadError(std::string(scriptName) + " line " + std::to_string(line) + ": " + reason);
}

}  // namespace pelo::reload
