// Whole families from the family builder (tools/mkfamily), as a run sees
// them: their database, home and the environment their family.env gives.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "support/commandLine.h"

namespace pelo::testing {

/// The test program's scratch directory, made on first use and removed at its end.
inline const std::string& scratchDir() {
    static const struct Scratch {
        std::string path;
        ~Scratch() { std::filesystem::remove_all(path); }
    } scratch{[] {
        char pattern[] = "/tmp/pelo-built-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/nonexistent");
    }()};
    return scratch.path;
}

/// The family's home, and what its family.env exports, unquoted.
struct BuiltFamily { std::string home; std::map<std::string, std::string> env; };

/// The tiny family of a database product, built on first use and shared by the
/// tests, which leave it as they found it; a builder failure fails the caller.
inline const BuiltFamily& builtFamily(const std::string& product) {
    static std::map<std::string, BuiltFamily> families;
    if (const auto known = families.find(product); known != families.end())
        return known->second;
    const std::string root = scratchDir() + "/family-" + product;
    const std::string command = shellQuote(PELO_BINARY_DIR "/tools/mkfamily/mkfamily") + " --size=tiny --db=" +
                                product + " --root=" + shellQuote(root) + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    BuiltFamily& family = families[product] = {root + "/home", {}};
    std::ifstream envFile(root + "/family.env");
    for (std::string line; std::getline(envFile, line);)  // export NAME='value'
        if (const auto eq = line.find('='); line.starts_with("export ") && eq != std::string::npos)
            family.env[line.substr(7, eq - 7)] = line.substr(eq + 2, line.size() - eq - 3);
    return family;
}

inline std::string readText(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace pelo::testing
