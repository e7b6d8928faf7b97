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

/// The family's home, what its family.env exports, unquoted, and the lines
/// of its family.txt (the archive requests it is shaped for, its counts).
struct BuiltFamily {
    std::string home;
    std::map<std::string, std::string> env;
    std::map<std::string, std::string> requests;
};

/// Builds a family with mkfamily below root (its options after --root)
/// and reads its family.env and family.txt; a builder failure fails the caller.
/// The histories come from the tree's cache once a family of the same shape
/// has made them.
inline BuiltFamily buildFamily(const std::string& root, const std::string& options) {
    const std::string command = shellQuote(PELO_BINARY_DIR "/tools/mkfamily/mkfamily") + " --root=" +
                                shellQuote(root) + " --histories-cache=" +
                                shellQuote(PELO_BINARY_DIR "/family-histories") + " " + options + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    BuiltFamily family{root + "/home", {}, {}};
    std::ifstream envFile(root + "/family.env");
    for (std::string line; std::getline(envFile, line);)  // export NAME='value'
        if (const auto eq = line.find('='); line.starts_with("export ") && eq != std::string::npos)
            family.env[line.substr(7, eq - 7)] = line.substr(eq + 2, line.size() - eq - 3);
    std::ifstream summary(root + "/family.txt");
    for (std::string line; std::getline(summary, line);)  // name=value
        if (const auto eq = line.find('='); eq != std::string::npos)
            family.requests[line.substr(0, eq)] = line.substr(eq + 1);
    return family;
}

/// The tiny family of a database product, built on first use and shared by the
/// tests, which leave it as they found it.
inline const BuiltFamily& builtFamily(const std::string& product) {
    static std::map<std::string, BuiltFamily> families;
    if (const auto known = families.find(product); known != families.end())
        return known->second;
    return families[product] = buildFamily(scratchDir() + "/family-" + product, "--size=tiny --db=" + product);
}

/// The shell words that run the real binary (the tree's own unless named)
/// as the family's login (nss_wrapper) with the family's environment and
/// extra variables.
inline std::string archiveCommand(const BuiltFamily& family, const std::map<std::string, std::string>& extra = {},
                                  const std::string& binary = PELO_BINARY_DIR "/src/peloarchive") {
    std::map<std::string, std::string> env = family.env;
    env["PATH"] = "/usr/bin:/bin", env["LANG"] = "C.UTF-8", env["LD_PRELOAD"] = "libnss_wrapper.so";
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0";
    for (const auto& [name, value] : extra)
        env[name] = value;
    std::string command = "env -i";
    for (const auto& [name, value] : env)
        command += " " + name + "=" + shellQuote(value);
    return command + " " + shellQuote(binary);
}

/// Runs the real binary as the family's login (nss_wrapper) with the
/// answers, the family's environment and extra variables, under a shell
/// prefix (a ulimit, a trap); its output, through a pipe that no file size
/// limit touches, ends with "status=N".
inline std::string runArchive(const BuiltFamily& family, const std::string& answers,
                              const std::map<std::string, std::string>& extra = {},
                              const std::string& prefix = "") {
    const std::string dir = scratchDir();
    std::ofstream(dir + "/answers") << answers;
    const std::string command = "( " + prefix + " " + archiveCommand(family, extra) + " <" + shellQuote(dir + "/answers") +
                                " 2>&1; echo \"status=$?\" ) | cat >" + shellQuote(dir + "/output");
    EXPECT_NE(std::system(command.c_str()), -1) << command;
    std::ifstream output(dir + "/output");
    return {std::istreambuf_iterator<char>(output), {}};
}

inline std::string readText(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace pelo::testing
