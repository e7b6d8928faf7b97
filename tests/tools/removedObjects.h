// What a removal took from a family, and whether the archive holds it:
// the family's rows by table, its histories with their deltas and its
// files, before and after a run, compared with what the archive's script
// reloads into an empty schema.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "db/client.h"
#include "support/commandLine.h"
#include "tools/familyTables.h"

namespace pelo::testing {

/// A row for a message, each value cut to its first line of at most 40 bytes.
inline std::string briefRow(const Texts& row) {
    std::string text;
    for (const std::string& value : row) {
        const std::string brief = value.substr(0, std::min<std::size_t>(40, value.find('\n')));
        text += (text.empty() ? "(" : ", ") + brief + (brief.size() < value.size() ? "..." : "");
    }
    return text + ")";
}

// Every table of the family: the script's, and FILESOUT, which is never
// archived, so no row of it may go.
inline const std::vector<std::pair<const char*, std::size_t>> familyTables = [] {
    std::vector<std::pair<const char*, std::size_t>> tables(std::begin(scriptTables), std::end(scriptTables));
    tables.emplace_back("FILESOUT", 0);
    return tables;
}();

inline Tables readTables(const std::string& target, const dbtest::ScratchDatabase& login) {
    Tables tables;
    EXPECT_EQ(sqlConnect(target, login.user(), login.password()), 0) << sqlca.sqlerrm;
    for (const auto& [name, keyColumns] : familyTables) {
        TableRows& table = tables[name];
        SqlCursor cursor(std::string("SELECT * FROM ") + name);
        EXPECT_EQ(cursor.open({}), 0) << name << ": " << sqlca.sqlerrm;
        for (const SqlColumn& column : cursor.describe())
            table.columns.push_back(upper(column.name));
        for (SqlRow row; cursor.fetch(row) == 0;) {
            table.rows.emplace_back();
            for (int i = 0; i < row.columns(); ++i)
                table.rows.back().push_back(row.textAt(i));
        }
    }
    sqlRollbackRelease();
    return tables;
}

/// How the archive writes a family row, in the columns of the reloaded
/// table: the free texts with ' ` & ; as blanks; a defect or feature
/// without the fields its kind's table switches off; a host's address as
/// 0; '!' for '|' in the remarks of the Informix load files; a file with
/// its current path and version.  Only a release archive removes files: a
/// level archive writes them with the path and version of their archived
/// changes, so a file row it removed would lose its own.
struct ScriptForms {
    std::set<std::string> defectFields, featureFields;
    bool informix;

    Texts written(const std::string& table, const TableRows& family, const Texts& row, const Texts& columns) const {
        static const std::set<std::pair<std::string, std::string>> cleaned = {
            {"RELEASES", "DESCRIPTION"},   {"DEFECTS", "ABSTRACT"}, {"SIZES", "SIZING"},
            {"COMPONENTS", "DESCRIPTION"}, {"USERS", "NAME"},       {"CONFIG", "DESCRIPTION"}};
        const bool feature = table == "DEFECTS" && row[family.at("TYPE")] == "feature";
        Texts out;
        for (const std::string& column : columns) {
            std::string value = row[family.at(column)];
            const bool configured = defectFields.contains(column) || featureFields.contains(column);
            if (table == "DEFECTS" && configured && !(feature ? featureFields : defectFields).contains(column))
                value.clear();
            if (cleaned.contains({table, column}))
                std::replace_if(value.begin(), value.end(), [](char c) { return c && std::strchr("'`&;", c); }, ' ');
            if (informix && column == "REMARKS" && (table == "NOTES" || table == "VERSIONS"))
                std::replace(value.begin(), value.end(), '|', '!');
            if (table == "HOSTS" && column == "ADDRESS")
                value = "0";
            if (table == "FILES" && (column == "PATHID" || column == "VERSIONID"))
                value = row[family.at("NU" + column)];
            out.push_back(value);
        }
        return out;
    }
};

inline Texts keyOf(const Texts& row, std::size_t keyColumns) {
    return keyColumns == 0 ? row : Texts(row.begin(), row.begin() + std::ptrdiff_t(keyColumns));
}

/// The rows of the family table that the removal took: a row whose key
/// stays was changed, not removed; without a key a row is its whole value,
/// each taken once.
inline std::vector<const Texts*> removedRows(std::size_t keyColumns, const TableRows& before, const TableRows& after) {
    std::multiset<Texts> left;
    for (const Texts& row : after.rows)
        left.insert(keyOf(row, keyColumns));
    std::vector<const Texts*> removed;
    for (const Texts& row : before.rows)
        if (const auto stays = left.find(keyOf(row, keyColumns)); stays != left.end())
            left.erase(stays);
        else
            removed.push_back(&row);
    return removed;
}

/// Every row of the family table that the removal took (removedRows) must
/// be in the reloaded table, the row of its key with the same values.
/// Returns how many rows went.
inline std::size_t expectRemovedRowsArchived(const std::string& table, std::size_t keyColumns, const TableRows& before,
                                      const TableRows& after, const TableRows& reloaded, const ScriptForms& forms) {
    std::multimap<Texts, const Texts*> archived;
    for (const Texts& row : reloaded.rows)
        archived.emplace(keyOf(row, keyColumns), &row);
    const std::vector<const Texts*> removed = removedRows(keyColumns, before, after);
    for (const Texts* familyRow : removed) {
        const Texts row = forms.written(table, before, *familyRow, reloaded.columns);
        const auto found = archived.find(keyOf(row, keyColumns));
        if (found == archived.end()) {
            ADD_FAILURE() << table << " " << briefRow(keyOf(row, keyColumns))
                          << " was removed from the family but the archive does not hold it";
            continue;
        }
        EXPECT_EQ(*found->second, row) << table << " " << briefRow(keyOf(row, keyColumns))
                                       << " was removed, and archived with other values";
        archived.erase(found);
    }
    return removed.size();
}

/// Every row the removal took is in the archive's row copy (read with the
/// family's columns), every column as the family held it, the configured
/// ones included; the number of rows taken.
inline std::size_t expectRemovedRowsCopied(const std::string& table, std::size_t keyColumns, const TableRows& before,
                                           const TableRows& after, const TableRows& copy) {
    std::multiset<Texts> copied(copy.rows.begin(), copy.rows.end());
    const std::vector<const Texts*> removed = removedRows(keyColumns, before, after);
    for (const Texts* familyRow : removed)
        if (const auto found = copied.find(*familyRow); found != copied.end())
            copied.erase(found);
        else
            ADD_FAILURE() << table << " " << briefRow(*familyRow)
                          << " was removed from the family but the row copy does not hold it as it was";
    return removed.size();
}

inline std::string capture(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

/// Histories by their place below vc/, each with its deltas, newest first:
/// the SIDs prs reports (a binary directory's in its s.binary) or the
/// revisions of vlog's "Rev" lines.
using Histories = std::map<std::string, Texts>;

inline Histories readHistories(const std::string& base, const std::string& vcBin, bool pvcs) {
    Histories histories;
    const std::filesystem::path vc = base + "/vc";
    if (!std::filesystem::is_directory(vc))
        return histories;
    for (auto it = std::filesystem::recursive_directory_iterator(vc); it != std::filesystem::recursive_directory_iterator(); ++it) {
        const bool directory = it->is_directory();
        if (directory && !it->path().filename().string().starts_with("b."))
            continue;
        it.disable_recursion_pending();
        const std::string command = pvcs && !directory ? shellQuote(vcBin + "/vlog") + " -br "
                                                       : shellQuote(vcBin + "/prs") + " -e -d:I: ";
        const std::filesystem::path file = directory ? it->path() / "s.binary" : it->path();
        std::istringstream output(capture(command + shellQuote(file.string()) + " 2>/dev/null"));
        Texts& deltas = histories[std::filesystem::relative(it->path(), vc).string()];
        for (std::string line; std::getline(output, line);)
            if (!pvcs || directory)
                deltas.push_back(line);
            else if (line.starts_with("Rev "))
                deltas.push_back(line.substr(4, line.find_first_of(" \t", 4) - 4));
    }
    return histories;
}

/// The files below a directory by their relative path, with their bytes.
inline std::map<std::string, std::string> readFiles(const std::string& dir) {
    std::map<std::string, std::string> files;
    if (std::filesystem::is_directory(dir))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            if (entry.is_regular_file())
                files[std::filesystem::relative(entry.path(), dir).string()] = readText(entry.path().string());
    return files;
}

/// Every delta that left a history of the family must be in the archive's
/// copy of that history.  Returns how many histories went whole.
inline std::size_t expectRemovedDeltasArchived(const Histories& before, const Histories& after,
                                               const Histories& archived) {
    std::size_t historiesGone = 0;
    for (const auto& [history, deltas] : before) {
        const auto left = after.find(history);
        historiesGone += left == after.end();
        const Texts kept = left == after.end() ? Texts{} : left->second;
        const Texts copy = archived.contains(history) ? archived.at(history) : Texts{};
        for (const std::string& delta : deltas)
            if (std::ranges::find(kept, delta) == kept.end()) {
                EXPECT_NE(std::ranges::find(copy, delta), copy.end())
                    << "delta " << delta << " of vc/" << history << " was removed but the archive does not hold it";
            }
    }
    return historiesGone;
}

/// Every level map that left the family must be in the archive byte for
/// byte.  Returns how many went.
inline std::size_t expectRemovedMapsArchived(const std::map<std::string, std::string>& before,
                                             const std::map<std::string, std::string>& after,
                                             const std::map<std::string, std::string>& archived) {
    std::size_t mapsGone = 0;
    for (const auto& [map, bytes] : before)
        if (!after.contains(map)) {
            ++mapsGone;
            EXPECT_TRUE(archived.contains(map) && archived.at(map) == bytes)
                << "level map maps/" << map << " was removed but the archive does not hold it as it was";
        }
    return mapsGone;
}

}  // namespace pelo::testing
