// A family's rows and files against what an archive holds of them: the
// rows the populate script reloads into an empty schema (one model of how
// the script writes a row, ScriptForms) and the level maps a removal took.
// The tools' tests share it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
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

/// Reads a table of the connected database, its columns and its rows, sorted.
inline void readTable(const std::string& name, TableRows& table) {
    SqlCursor cursor("SELECT * FROM " + name);
    EXPECT_EQ(cursor.open({}), 0) << name << ": " << sqlca.sqlerrm;
    for (const SqlColumn& column : cursor.describe())
        table.columns.push_back(column.name);
    for (SqlRow row; cursor.fetch(row) == 0;) {
        table.rows.emplace_back();
        for (int i = 0; i < row.columns(); ++i)
            table.rows.back().push_back(row.textAt(i));
    }
    std::sort(table.rows.begin(), table.rows.end());
}

/// Every table of the family at target, its columns in capitals.
inline Tables readTables(const std::string& target, const dbtest::ScratchDatabase& login) {
    Tables tables;
    EXPECT_EQ(sqlConnect(target, login.user(), login.password()), 0) << sqlca.sqlerrm;
    for (const auto& [name, keyColumns] : familyTables) {
        readTable(name, tables[name]);
        for (std::string& column : tables[name].columns)
            column = upper(column);
    }
    sqlRollbackRelease();
    return tables;
}

/// Every script table of the database at target, connected to as login for
/// the read alone, with the table's own columns.
inline Tables readTablesAt(const std::string& target, const std::string& login, const std::string& password) {
    EXPECT_EQ(sqlConnect(target, login, password), 0) << sqlca.sqlerrm;
    Tables tables;
    for (const auto& [name, keyColumns] : scriptTables)
        readTable(name, tables[name]);
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

    /// The forms of the archive in `arch`, its configured fields as it copied them.
    static ScriptForms of(const std::string& arch, bool informix) {
        return {enabledFields(arch + "/configField/DefectConfigTbl"),
                enabledFields(arch + "/configField/FeatureConfigTbl"), informix};
    }

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

/// Each of the rows must be in `holder` (named by `what` in a failure),
/// the row of its key with the same values, each row of `holder` standing
/// for one of them at most.
inline void expectRowsHeld(const std::string& table, std::size_t keyColumns, const Rows& rows, const Rows& holder,
                           const std::string& what) {
    std::multimap<Texts, const Texts*> byKey;
    for (const Texts& row : holder)
        byKey.emplace(keyOf(row, keyColumns), &row);
    for (const Texts& row : rows) {
        const auto found = byKey.find(keyOf(row, keyColumns));
        if (found == byKey.end()) {
            ADD_FAILURE() << table << " " << briefRow(row) << ": " << what << " holds no row of its key";
            continue;
        }
        EXPECT_EQ(row, *found->second) << table << " " << briefRow(keyOf(row, keyColumns)) << ": " << what
                                       << " holds it with other values";
        byKey.erase(found);
    }
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

/// The cluster's connection variables, for a run on PostgreSQL and for the
/// products' tools (the VQL tool's command line names no password).
inline std::map<std::string, std::string> clusterVariables() {
    std::map<std::string, std::string> variables;
    for (const char* name : {"PGHOST", "PGPORT", "PGUSER", "PGPASSWORD"})
        if (const char* value = std::getenv(name))
            variables[name] = value;
    return variables;
}

/// Runs reload, as the restore would: the populate script of the archive in
/// `arch`, written for the product (mkfamily's --db), into an empty schema
/// of db.  Its output, ending with "status=N".
inline std::string reloadArchive(const std::string& arch, const std::string& product,
                                 const dbtest::ScratchDatabase& db) {
    const std::string dialect = product == "vql" ? "dizoz" : product;
    return capture(shellQuote(PELO_BINARY_DIR "/tools/reload/reload") + " --dialect=" + dialect +
                   " --target=" + shellQuote(db.target()) + " --login=" + shellQuote(db.user()) +
                   " --password=" + shellQuote(db.password()) + " --create-schema " + shellQuote(arch) +
                   " 2>&1; echo \"status=$?\"");
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

/// The counts section of PELOarchive.info by table ("Defects(Features)" counts DEFECTS).
inline std::map<std::string, std::size_t> archivedCounts(const std::string& info) {
    std::map<std::string, std::size_t> counts;
    const std::regex line(R"(\n(\w+)(\(Features\))? *= (\d+))");
    for (std::sregex_iterator it(info.begin(), info.end(), line), end; it != end; ++it)
        counts[upper((*it)[1])] = std::stoul((*it)[3]);
    return counts;
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
        EXPECT_TRUE(changed.contains({row[0], "PATHID", row[pathId]})) << briefRow(row);
        EXPECT_TRUE(changed.contains({row[0], "VERSIONID", row[versionId]})) << briefRow(row);
        EXPECT_EQ(row[files.at("NUPATHID")], row[pathId]);
        EXPECT_EQ(row[files.at("NUVERSIONID")], row[versionId]);
        const std::string& path = pathNames[row[pathId]];
        EXPECT_EQ(row[files.at("BASENAME")], path.substr(path.rfind('/') + 1)) << briefRow(row);
    }
    for (Tables* tables : {&family, &reloaded})
        for (Texts& row : (*tables)["FILES"].rows)
            for (const char* column : {"PATHID", "NUPATHID", "VERSIONID", "NUVERSIONID", "BASENAME"})
                row[files.at(column)].clear();
}

/// The script's deliberate differences beyond a row's forms: user 1 under
/// the general sequence's next value, which that row then holds; only three
/// Sequence rows, "source" left out of the comparison; a level archive's
/// files (checkLevelFiles).
inline void applyScriptDifferences(Tables& family, Tables& reloaded, bool level) {
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
    if (level)
        checkLevelFiles(family, reloaded);
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

/// Every script table of the reload holds the family's rows, as read
/// before the archive changed it, in the columns of the reload (a
/// configurable field switched off is not archived), as the archive in
/// `arch` of the product (mkfamily's --db) wrote them, and as many as its
/// information file counts.
inline void expectReloadedFamily(Tables family, Tables reloaded, const std::string& arch, const std::string& product,
                                 bool level) {
    const auto counts = archivedCounts(readText(arch + "/PELOarchive.info"));
    const ScriptForms forms = ScriptForms::of(arch, product == "informix");
    for (const auto& [name, keyColumns] : scriptTables) {
        TableRows& table = family[name];
        Texts columns;
        for (const std::string& column : reloaded[name].columns)
            columns.push_back(upper(column));
        for (Texts& row : table.rows)
            row = forms.written(name, table, row, columns);
    }
    applyScriptDifferences(family, reloaded, level);
    for (const auto& [table, keyColumns] : scriptTables) {
        EXPECT_EQ(reloaded[table].rows.size(), expectedRows(table, counts, family, reloaded, product == "informix"))
            << table;
        expectRowsHeld(table, keyColumns, reloaded[table].rows, family[table].rows, "the family");
    }
}

}  // namespace pelo::testing
