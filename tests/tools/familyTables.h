// The family's tables as the tools' tests compare them: every table the
// populate script writes, each row as text, and the configurable fields a
// family's table switches on.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pelo::testing {

using Texts = std::vector<std::string>;
using Rows = std::vector<Texts>;

inline std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

/// Every table of the populate script, with the number of leading columns
/// that name a row; 0 for a table without a key, whose whole row is its name.
inline constexpr std::pair<const char*, std::size_t> scriptTables[] = {
    {"RELEASES", 1},    {"ENVIRONMENTS", 0}, {"APPROVERS", 0},  {"LEVELS", 1},   {"LEVELMEMBERS", 0},
    {"TRACKS", 1},      {"CHANGES", 0},      {"APPROVALS", 0},  {"FIX", 0},      {"TESTS", 0},
    {"COREQS", 0},      {"DEFECTS", 1},      {"HISTORY", 0},    {"NOTES", 0},    {"VERIFY", 0},
    {"SIZES", 0},       {"FILES", 1},        {"PATH", 1},       {"VERSIONS", 1}, {"COMPONENTS", 1},
    {"COMPMEMBERS", 0}, {"USERS", 1},        {"HOSTS", 0},      {"SEQUENCE", 1}, {"AUTHORITY", 0},
    {"INTEREST", 0},    {"CONFIG", 0},       {"CFGRELPROC", 0}, {"CFGCOMPROC", 0},
};

/// A table's columns and its rows, each value as text (NULL reads as "").
struct TableRows {
    Texts columns;
    Rows rows;

    /// The place of a column, named in capitals whatever the database calls it.
    std::size_t at(const std::string& column) const {
        const auto found = std::find_if(columns.begin(), columns.end(), [&](auto& c) { return upper(c) == column; });
        EXPECT_NE(found, columns.end()) << "no column " << column;
        return found == columns.end() ? 0 : std::size_t(found - columns.begin());
    }
};
using Tables = std::map<std::string, TableRows>;

/// The enabled fields (the column, field 2, in capitals) of a configurable-field table.
inline std::set<std::string> enabledFields(const std::string& path) {
    std::set<std::string> fields;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (const auto bar = line.find('|'); bar != std::string::npos && line.compare(0, bar, "no") != 0)
            fields.insert(upper(line.substr(bar + 1, line.find('|', bar + 1) - bar - 1)));
    return fields;
}

}  // namespace pelo::testing
