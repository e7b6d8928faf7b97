// An archive's populate script, reloaded by tools/reload, against the
// family it came from: every reloaded row must be the family's row, in the
// forms the script writes on purpose, and in the numbers the archive's
// information file counts.  The round trip and the hostile matrix share it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "db/client.h"
#include "archive/builtFamily.h"
#include "tools/familyTables.h"

namespace pelo::testing {

/// Every script table of the connected database; the columns are those of
/// `like` when given, else the table's own.
inline Tables readTables(const Tables* like) {
    Tables tables;
    for (const auto& [name, keyColumns] : scriptTables) {
        TableRows& table = tables[name];
        std::string list;
        if (like != nullptr)
            table.columns = like->at(name).columns;
        for (const std::string& column : table.columns)
            list += (list.empty() ? "" : ",") + column;
        SqlCursor cursor("SELECT " + (list.empty() ? "*" : list) + " FROM " + name);
        EXPECT_EQ(cursor.open({}), 0) << name << ": " << sqlca.sqlerrm;
        if (like == nullptr)
            for (const SqlColumn& column : cursor.describe())
                table.columns.push_back(column.name);
        for (SqlRow row; cursor.fetch(row) == 0;) {
            table.rows.emplace_back();
            for (int i = 0; i < row.columns(); ++i)
                table.rows.back().push_back(row.textAt(i));
        }
        std::sort(table.rows.begin(), table.rows.end());
    }
    return tables;
}

/// readTables of the database at target, connected to as login for the read alone.
inline Tables readTablesAt(const std::string& target, const std::string& login, const std::string& password,
                           const Tables* like = nullptr) {
    EXPECT_EQ(sqlConnect(target, login, password), 0) << sqlca.sqlerrm;
    Tables tables = readTables(like);
    sqlRollbackRelease();
    return tables;
}

inline std::string joined(const Texts& row) {
    std::string text;
    for (const std::string& value : row)
        text += (text.empty() ? "(" : ", ") + value;
    return text + ")";
}

/// Each reloaded row must be the family row of its name, column by column,
/// each family row standing for one reloaded row at most.
inline void expectFamilyRows(const std::string& table, std::size_t keyColumns, const Rows& family, const Rows& reloaded) {
    const auto key = [&](const Texts& row) {
        return Texts(row.begin(), row.begin() + std::ptrdiff_t(keyColumns ? keyColumns : row.size()));
    };
    std::multimap<Texts, const Texts*> byKey;
    for (const Texts& row : family)
        byKey.emplace(key(row), &row);
    for (const Texts& row : reloaded) {
        const auto found = byKey.find(key(row));
        if (found == byKey.end()) {
            ADD_FAILURE() << table << ": the family holds no row " << joined(row);
            continue;
        }
        EXPECT_EQ(row, *found->second) << table << " " << joined(key(row));
        byKey.erase(found);
    }
}

/// The counts section of PELOarchive.info by table ("Defects(Features)" counts DEFECTS).
inline std::map<std::string, std::size_t> archivedCounts(const std::string& info) {
    std::map<std::string, std::size_t> counts;
    const std::regex line(R"(\n(\w+)(\(Features\))? *= (\d+))");
    for (std::sregex_iterator it(info.begin(), info.end(), line), end; it != end; ++it)
        counts[upper((*it)[1])] = std::stoul((*it)[3]);
    return counts;
}

/// The family's rows in the forms the script writes them: a defect with
/// the fields its kind's table enables and a feature with those of its
/// own; the free texts with ' ` & ; as blanks; a host's address as 0.
inline void applyWrittenForms(Tables& family, const std::string& arch) {
    for (Texts& row : family["HOSTS"].rows)
        row[family["HOSTS"].at("ADDRESS")] = "0";
    TableRows& defects = family["DEFECTS"];
    const std::set<std::string> defectFields = enabledFields(arch + "/configField/DefectConfigTbl");
    const std::set<std::string> featureFields = enabledFields(arch + "/configField/FeatureConfigTbl");
    for (Texts& row : defects.rows)
        for (std::size_t i = 0; i < defects.columns.size(); ++i) {
            const std::string column = upper(defects.columns[i]);
            const auto& enabled = row[defects.at("TYPE")] == "feature" ? featureFields : defectFields;
            if ((defectFields.contains(column) || featureFields.contains(column)) && !enabled.contains(column))
                row[i].clear();
        }
    const std::pair<const char*, const char*> cleaned[] = {{"RELEASES", "DESCRIPTION"}, {"DEFECTS", "ABSTRACT"},
                                                           {"SIZES", "SIZING"},         {"COMPONENTS", "DESCRIPTION"},
                                                           {"USERS", "NAME"},           {"CONFIG", "DESCRIPTION"}};
    for (const auto& [table, column] : cleaned)
        for (Texts& row : family[table].rows) {
            std::string& value = row[family[table].at(column)];
            std::replace_if(value.begin(), value.end(), [](char c) { return c && std::strchr("'`&;", c); }, ' ');
        }
}

/// A level archive writes each file with the path and version of its
/// archived changes, and the base name of that path: checked against the
/// reloaded Changes and Path, then left out of the row comparison.
inline void checkLevelFiles(Tables& family, Tables& reloaded) {
    const TableRows& changes = reloaded["CHANGES"];
    std::set<Texts> changed;  // file, column, value
    for (const Texts& row : changes.rows)
        for (const char* column : {"PATHID", "VERSIONID"})
            changed.insert({row[changes.at("FILEID")], column, row[changes.at(column)]});
    std::map<std::string, std::string> pathNames;
    for (const Texts& row : reloaded["PATH"].rows)
        pathNames[row[0]] = row[1];
    const TableRows& files = reloaded["FILES"];
    const std::size_t pathId = files.at("PATHID"), versionId = files.at("VERSIONID");
    for (const Texts& row : files.rows) {
        EXPECT_TRUE(changed.contains({row[0], "PATHID", row[pathId]})) << joined(row);
        EXPECT_TRUE(changed.contains({row[0], "VERSIONID", row[versionId]})) << joined(row);
        EXPECT_EQ(row[files.at("NUPATHID")], row[pathId]);
        EXPECT_EQ(row[files.at("NUVERSIONID")], row[versionId]);
        const std::string& path = pathNames[row[pathId]];
        EXPECT_EQ(row[files.at("BASENAME")], path.substr(path.rfind('/') + 1)) << joined(row);
    }
    for (Tables* tables : {&family, &reloaded})
        for (Texts& row : (*tables)["FILES"].rows)
            for (const char* column : {"PATHID", "NUPATHID", "VERSIONID", "NUVERSIONID", "BASENAME"})
                row[files.at(column)].clear();
}

/// The script's deliberate differences: user 1 under the general
/// sequence's next value, which that row then holds; only three Sequence
/// rows, "source" left out of the comparison; the Informix load files' '!'
/// for '|' in remarks; a file's path and version written for both its own
/// and its current ones (in a release archive, the current).
inline void applyScriptDifferences(Tables& family, Tables& reloaded, const std::string& product, bool level) {
    Rows& sequence = family["SEQUENCE"].rows;
    const std::set<std::string> written = {"general", "defect", "source"};
    std::erase_if(sequence, [&](const Texts& row) { return !written.contains(row[0]); });
    Texts& general = *std::ranges::find_if(sequence, [](const Texts& row) { return row[0] == "general"; });
    const std::string renumbered = std::to_string(std::stoi(general[1]) + 1);
    for (const char* table : {"USERS", "HOSTS"})
        for (Texts& row : family[table].rows)
            row[0] = row[0] == "1" ? renumbered : row[0];
    if (std::ranges::any_of(reloaded["USERS"].rows, [&](const Texts& row) { return row[0] == renumbered; }))
        general[1] = renumbered;
    for (Tables* tables : {&family, &reloaded})
        for (Texts& row : (*tables)["SEQUENCE"].rows)
            row[1] = row[0] == "source" ? "" : row[1];
    for (const char* table : {"NOTES", "VERSIONS"})
        for (Texts& row : family[table].rows)
            if (std::string& remarks = row[family[table].at("REMARKS")]; product == "informix")
                std::replace(remarks.begin(), remarks.end(), '|', '!');
    if (level)
        return checkLevelFiles(family, reloaded);
    TableRows& files = family["FILES"];
    for (Texts& row : files.rows) {
        row[files.at("PATHID")] = row[files.at("NUPATHID")];
        row[files.at("VERSIONID")] = row[files.at("NUVERSIONID")];
    }
}

/// How many rows of a table the reload must hold: what the information
/// file counts, but the whole family table for those the product's tool
/// exports whole and the three Sequence rows written; component 2, the
/// family's root, is counted when an archived object names it, never written.
inline std::size_t expectedRows(const std::string& table, const std::map<std::string, std::size_t>& counts,
                         Tables& family, Tables& reloaded, bool informix) {
    if (table == "SEQUENCE" || (!informix && (table == "NOTES" || table == "VERSIONS")))
        return family[table].rows.size();
    EXPECT_TRUE(counts.contains(table)) << table << " is not counted in PELOarchive.info";
    bool rootNamed = false;
    for (const char* naming : {"RELEASES", "FIX", "SIZES", "DEFECTS", "FILES"})
        for (const Texts& row : reloaded[naming].rows)
            rootNamed = rootNamed || row[reloaded[naming].at("COMPID")] == "2";
    return (counts.contains(table) ? counts.at(table) : 0) - (table == "COMPONENTS" && rootNamed ? 1 : 0);
}

/// The family's tables with only the columns of `like` (a configurable
/// field switched off is not archived), read before the archive changed it.
inline Tables projected(const Tables& tables, const Tables& like) {
    Tables out;
    for (const auto& [name, table] : like) {
        const TableRows& from = tables.at(name);
        TableRows& to = out[name];
        to.columns = table.columns;
        std::vector<std::size_t> places;
        for (const std::string& column : table.columns)
            places.push_back(from.at(upper(column)));
        for (const Texts& row : from.rows) {
            to.rows.emplace_back();
            for (std::size_t place : places)
                to.rows.back().push_back(row[place]);
        }
        std::sort(to.rows.begin(), to.rows.end());
    }
    return out;
}

/// Every script table of the reload holds the family's rows, as the
/// archive in `arch` of the product (mkfamily's --db) wrote them, and as
/// many as its information file counts.
inline void expectReloadedFamily(Tables family, Tables reloaded, const std::string& arch, const std::string& product,
                                 bool level) {
    const auto counts = archivedCounts(readText(arch + "/PELOarchive.info"));
    applyWrittenForms(family, arch);
    applyScriptDifferences(family, reloaded, product, level);
    for (const auto& [table, keyColumns] : scriptTables) {
        EXPECT_EQ(reloaded[table].rows.size(), expectedRows(table, counts, family, reloaded, product == "informix"))
            << table;
        expectFamilyRows(table, keyColumns, family[table].rows, reloaded[table].rows);
    }
}

}  // namespace pelo::testing
