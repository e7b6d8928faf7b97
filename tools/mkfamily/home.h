// The files of a family outside its database and histories: the family
// home's maps, configuration and configurable-field files, the
// installation record, the products' tools, the login for nss_wrapper,
// the environment file and the summary.
#pragma once

#include <string>

#include "model.h"

namespace pelo::family {

/// The places of one built family below its root.
struct FamilyLayout {
    std::string root, home, peloHome, target, vcBin, envFile, passwdFile, groupFile, summaryFile;
};

FamilyLayout familyLayout(const FamilyOptions& options);

/// Makes a directory and those above it; throws std::runtime_error when it cannot.
void makeDirectory(const std::string& path);

/// Writes the family home's files (maps/R/L for every level, the .ld files,
/// configField/), the installation record, the product tools and the
/// version-control tool directory.  0, or 1 with the reason in error.
int writeFamilyHome(const Family& family, const FamilyLayout& layout, std::string& error);

/// Writes passwd and group for nss_wrapper, family.env and family.txt.
int writeFamilyEnvironment(const Family& family, const FamilyLayout& layout, std::string& error);

}  // namespace pelo::family
