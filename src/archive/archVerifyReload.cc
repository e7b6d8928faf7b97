#include "archive/archVerifyReload.h"

#include <fcntl.h>
#include <unistd.h>
#include <strings.h>

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "archive/archManifest.h"
#include "archive/dialect.h"
#include "archive/rowCopy.h"
#include "archive/scriptReload.h"
#include "db/client.h"
#include "support/digest.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;


/// Lines of one subject, the first few printed and the rest counted, so
/// that a wholly wrong script does not print a line per row.
class CappedLines {
public:
    CappedLines(const ProblemSink& problem, std::string subject, const char* rest)
        : problem_(problem), subject_(std::move(subject)), rest_(rest) {}
    CappedLines(const CappedLines&) = delete;
    CappedLines& operator=(const CappedLines&) = delete;

    /// One problem: subject and what follow "reload: " on one line.
    void operator()(const std::string& what) {
        if (++count_ <= shown)
            problem_("reload", manifestPath(subject_ + what));
    }
    void finish() {
        if (count_ > shown)
            problem_("reload", manifestPath(subject_) + ": " + std::to_string(count_ - shown) + " more " + rest_);
        count_ = 0;
    }

private:
    static constexpr int shown = 10;
    const ProblemSink& problem_;
    std::string subject_;
    const char* rest_;
    int count_ = 0;
};

std::string upper(std::string text) {
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

/// The text of a regular file below the root, reached through no link;
/// nothing when there is none.
std::optional<std::string> readBelow(int rootFd, const std::string& path) {
    const int fd = openToDigest(rootFd, path, digestBelowOnly);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text(std::in_place);
    char block[65536];
    ssize_t got = 0;
    while ((got = read(fd, block, sizeof block)) > 0)
        text->append(block, std::size_t(got));
    if (got < 0)
        text.reset();
    close(fd);
    return text;
}

/// A file of the archive that the manifest names and found intact.
std::optional<std::string> readIntact(const CheckedArchive& archive, const std::string& path) {
    return archive.intact.contains(path) ? readBelow(archive.rootFd, path) : std::nullopt;
}

/// The files of the Notes and Versions rows: the export tool's, or the
/// Informix load files.
std::vector<std::string> exportFiles(Dialect dialect) {
    if (dialect == Dialect::oracle)
        return {"PELOarchive.export"};
    return {"PELOarchive.notesData", "PELOarchive.versionsData"};
}

/// The files a reload of the dialect's archive reads, where it has them.
std::vector<std::string> reloadedFiles(Dialect dialect) {
    std::vector<std::string> files = exportFiles(dialect);
    files.insert(files.end(), {populateScriptName, rowCopyName});
    for (const char* table : {"Defect", "Feature", "File", "User"})
        files.push_back(std::string("configField/") + table + "ConfigTbl");
    return files;
}

/// The value of the information file's line "LABEL   : value".
std::string infoField(const std::string& info, std::string_view label) {
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        if (line.starts_with(label) && line.find_first_not_of(' ', label.size()) == colon) {
            std::string value = line.substr(colon + 2);
            value.erase(value.find_last_not_of(' ') + 1);
            return value;
        }
    }
    return {};
}

/// The statements the Informix script's here-document holds, its load
/// statements reading their files from below the root.  False when the
/// script is not one the restore side may run: nothing of it is loaded.
bool runInformixScript(const CheckedArchive& archive, std::string_view script, ScriptRun& run, CappedLines& lines) {
    ScriptFault fault;
    const std::optional<std::string> statements = hereDocumentStatements(script, fault);
    if (!statements) {
        lines(" line " + std::to_string(fault.line) + ": " + fault.reason);
        return false;
    }
    run.dialect = Dialect::oracle;  // the statements end with ';'
    run.load = [&](int line, const LoadStatement& load) {
        // "$4" is the load directory, the archive's root; a name that
        // leaves it, or reaches anything through a link, is not read.
        const std::string file = load.file.starts_with("$4/") ? load.file.substr(3) : "";
        const std::optional<std::string> text = file.empty() ? std::nullopt : readIntact(archive, file);
        const std::string where = " line " + std::to_string(line) + ": ";
        if (!text)
            return lines(where + "the load file " + load.file + " is not a file of the archive");
        try {
            loadRecords(*text, load.delimiter, load.table, file);
        } catch (const ReloadError& failure) {
            lines(where + failure.what());
        }
    };
    runScript(*statements, run, 1);
    return true;
}

/// Fills the open scratch database with what the archive says; the
/// tables whose keys turned an insert away go to writtenTwice.  False when
/// there is nothing to compare.
bool loadArchive(const CheckedArchive& archive, Dialect dialect, const std::string& script, const ProblemSink& problem,
                 std::set<std::string>& writtenTwice) {
    createFamilySchema([&](const std::string& path) { return readIntact(archive, path); });
    CappedLines lines(problem, populateScriptName, "problems");
    ScriptRun run{dialect, true,
                  [&](int line, const std::string& reason, std::string_view) {
                      // A row is written once for each object naming it; the
                      // first insert holds it, and the comparison finds an
                      // insert that was turned away for another row's key.
                      constexpr std::string_view unique = "UNIQUE constraint failed: ";
                      if (reason.starts_with(unique))
                          writtenTwice.insert(upper(reason.substr(unique.size(), reason.find('.') - unique.size())));
                      else
                          lines(" line " + std::to_string(line) + ": " + reason);
                  },
                  {}};
    if (dialect == Dialect::informix) {
        const bool loaded = runInformixScript(archive, script, run, lines);
        lines.finish();
        return loaded;
    }
    runScript(script, run);
    lines.finish();
    // A missing export file is named by the manifest's check already.
    for (const std::string& file : exportFiles(dialect))
        if (const std::optional<std::string> text = readIntact(archive, file)) {
            try {
                importExportText(*text, file);
            } catch (const ReloadError& failure) {
                problem("reload", manifestPath(failure.what()));
            }
        }
    return true;
}

/// A table's rows as texts (NULL as empty), in the order they were written.
struct TableRows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;

    /// The place of a column, by name in any case; nothing when absent.
    std::optional<std::size_t> at(std::string_view name) const {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (strcasecmp(columns[i].c_str(), std::string(name).c_str()) == 0)
                return i;
        return std::nullopt;
    }
};

std::optional<TableRows> readTable(sqlite3* db, const std::string& table, std::string& error) {
    sqlite3_stmt* statement = nullptr;
    // The name is one of the copy's own table names, never read from a file.
    const std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        sqlite3_finalize(statement);
        return std::nullopt;
    }
    TableRows out;
    const int columns = sqlite3_column_count(statement);
    for (int i = 0; i < columns; ++i)
        out.columns.emplace_back(sqlite3_column_name(statement, i));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        auto& row = out.rows.emplace_back();
        row.reserve(std::size_t(columns));
        for (int i = 0; i < columns; ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
            row.emplace_back(text != nullptr ? std::string(text, std::size_t(sqlite3_column_bytes(statement, i))) : "");
        }
    }
    error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    return error.empty() ? std::optional(std::move(out)) : std::nullopt;
}

/// What the copy's rows need to be brought to the script's forms.
struct ScriptForms {
    Dialect dialect = Dialect::none;
    bool level = false;
    std::string general;     ///< the general Sequence value the script writes
    std::string renumbered;  ///< user 1's number in the script
    std::set<std::string> defectFields, featureFields;  ///< upper case
    std::set<std::string> writtenTwice;  ///< tables whose keys turned an insert away
};

std::set<std::string> enabledFields(const CheckedArchive& archive, const char* table) {
    std::set<std::string> fields;
    const std::optional<std::string> text = readIntact(archive, std::string("configField/") + table);
    for (const std::string& column : configuredColumns(text.value_or("")))
        fields.insert(upper(column));
    return fields;
}

ScriptForms scriptForms(const CheckedArchive& archive, sqlite3* copy, Dialect dialect, bool level) {
    ScriptForms forms{dialect, level, {}, {}, enabledFields(archive, "DefectConfigTbl"),
                      enabledFields(archive, "FeatureConfigTbl"), {}};
    std::string error;
    const std::optional<TableRows> sequence = readTable(copy, "SEQUENCE", error);
    const std::optional<TableRows> users = readTable(copy, "USERS", error);
    if (!sequence || !users)
        return forms;
    for (const auto& row : sequence->rows)
        if (row[0] == "general" && row.size() > 1 && !row[1].empty() && row[1].size() < 12 &&
            row[1].find_first_not_of("0123456789") == std::string::npos)
            forms.general = row[1], forms.renumbered = std::to_string(std::stoll(row[1]) + 1);
    if (std::ranges::any_of(users->rows, [](const auto& row) { return row[0] == "1"; }))
        forms.general = forms.renumbered;
    return forms;
}

void setColumn(TableRows& table, const char* column, const std::function<void(std::string&)>& change) {
    if (const auto place = table.at(column))
        for (auto& row : table.rows)
            change(row[*place]);
}

void blankFreeText(TableRows& table, const char* column) {
    setColumn(table, column, [](std::string& value) {
        std::replace_if(
            value.begin(), value.end(), [](char c) { return std::string_view("'`&;").find(c) != std::string_view::npos; },
            ' ');
    });
}

/// A Defects row has the fields its kind enables; those only the other
/// kind enables are blank.
void blankOtherKindFields(TableRows& defects, const ScriptForms& forms) {
    const auto type = defects.at("TYPE");
    for (std::size_t i = 0; type && i < defects.columns.size(); ++i) {
        const std::string column = upper(defects.columns[i]);
        if (!forms.defectFields.contains(column) && !forms.featureFields.contains(column))
            continue;
        for (auto& row : defects.rows)
            if (!(row[*type] == "feature" ? forms.featureFields : forms.defectFields).contains(column))
                row[i].clear();
    }
}

/// The copy's rows of the table in the forms the script writes them.
void toScriptForms(CopyTable table, TableRows& rows, const ScriptForms& forms) {
    // The copy holds a row once for each object naming it, as the script
    // writes it; the scratch database's keys kept one.
    if (forms.writtenTwice.contains(copyTableName(table))) {
        std::set<std::vector<std::string>> seen;
        std::erase_if(rows.rows, [&](const auto& row) { return !seen.insert(row).second; });
    }
    const auto renumber = [&](std::string& id) { id = id == "1" && !forms.renumbered.empty() ? forms.renumbered : id; };
    switch (table) {
    case CopyTable::releases: case CopyTable::config: case CopyTable::components:
        blankFreeText(rows, "DESCRIPTION");
        if (table == CopyTable::components)
            std::erase_if(rows.rows, [](const auto& row) { return row[0] == "2"; });
        break;
    case CopyTable::sizes: blankFreeText(rows, "SIZING"); break;
    case CopyTable::users: blankFreeText(rows, "NAME"); setColumn(rows, "ID", renumber); break;
    case CopyTable::hosts:
        setColumn(rows, "ADDRESS", [](std::string& v) { v = "0"; });
        setColumn(rows, "USERID", renumber);
        break;
    case CopyTable::defects: blankFreeText(rows, "ABSTRACT"); blankOtherKindFields(rows, forms); break;
    case CopyTable::sequence:
        std::erase_if(rows.rows,
                      [](const auto& row) { return row[0] != "general" && row[0] != "defect" && row[0] != "source"; });
        for (auto& row : rows.rows)
            row[1] = row[0] == "general" ? forms.general : row[1];
        break;
    case CopyTable::files:
        if (forms.level)
            break;
        for (auto& row : rows.rows)
            for (const auto& [own, current] : {std::pair{"PATHID", "NUPATHID"}, {"VERSIONID", "NUVERSIONID"}})
                if (rows.at(own) && rows.at(current))
                    row[*rows.at(own)] = row[*rows.at(current)];
        break;
    case CopyTable::notes: case CopyTable::versions:
        if (forms.dialect == Dialect::informix)
            setColumn(rows, "REMARKS", [](std::string& v) { std::replace(v.begin(), v.end(), '|', '!'); });
        break;
    default: break;
    }
}

/// What neither side is compared on: the source Sequence value, and in a
/// level archive the path, version and base name of each file.
void blankUncompared(CopyTable table, TableRows& rows, const ScriptForms& forms) {
    if (table == CopyTable::sequence)
        for (auto& row : rows.rows)
            row[1] = row[0] == "source" ? "" : row[1];
    if (table == CopyTable::files && forms.level)
        for (const char* column : {"PATHID", "NUPATHID", "VERSIONID", "NUVERSIONID", "BASENAME"})
            setColumn(rows, column, [](std::string& v) { v.clear(); });
}

/// The script's rows of the table against the copy's, by key.
void compareTable(CopyTable table, const TableRows& script, const TableRows& copy, const ScriptForms& forms,
                  CappedLines& lines) {
    // The copy's place of each script column; a column the copy lacks is
    // not compared.
    std::vector<std::pair<std::size_t, std::size_t>> places;
    for (std::size_t i = 0; i < script.columns.size(); ++i)
        if (const auto place = copy.at(script.columns[i]))
            places.emplace_back(i, *place);
    std::vector<std::string> keyNames;
    std::istringstream names(copyKeyColumns(table));
    for (std::string name; std::getline(names, name, ',');)
        if (script.at(name) && copy.at(name))
            keyNames.push_back(name);
    // The key columns' places on each side, found once for all the rows.
    const auto placesOf = [&](const TableRows& side) {
        std::vector<std::size_t> at;
        for (const std::string& name : keyNames)
            at.push_back(*side.at(name));
        return at;
    };
    const std::vector<std::size_t> scriptKey = placesOf(script), copyKey = placesOf(copy);
    const auto keyOf = [&](const std::vector<std::size_t>& at, const std::vector<std::string>& row) {
        std::string key;
        for (std::size_t k = 0; k < keyNames.size(); ++k)
            key += (key.empty() ? "" : ", ") + keyNames[k] + "=" + row[at[k]];
        return key;
    };
    const bool wholeTableExported = forms.dialect != Dialect::informix &&
                                    (table == CopyTable::notes || table == CopyTable::versions);
    if (!wholeTableExported && script.rows.size() != copy.rows.size())
        lines(": " + std::to_string(script.rows.size()) + " rows from the script, " + std::to_string(copy.rows.size()) +
              " in the row copy");
    const auto compareRows = [&](const std::vector<std::string>& mine, const std::vector<std::string>& theirs) {
        for (const auto& [m, t] : places)
            if (mine[m] != theirs[t])
                lines(" " + keyOf(copyKey, theirs) + ": " + copy.columns[t] + " differs");
    };
    // Both sides are in the order the walk wrote them, so the rows pair
    // off by place as long as their keys agree; the rest pair by key.
    const auto sameKey = [&](const std::vector<std::string>& mine, const std::vector<std::string>& theirs) {
        for (std::size_t k = 0; k < keyNames.size(); ++k)
            if (mine[scriptKey[k]] != theirs[copyKey[k]])
                return false;
        return true;
    };
    std::size_t paired = 0;
    while (paired < script.rows.size() && paired < copy.rows.size() &&
           sameKey(script.rows[paired], copy.rows[paired])) {
        compareRows(script.rows[paired], copy.rows[paired]);
        ++paired;
    }
    std::unordered_multimap<std::string, std::size_t> byKey;
    byKey.reserve(script.rows.size() - paired);
    for (std::size_t r = paired; r < script.rows.size(); ++r)
        byKey.emplace(keyOf(scriptKey, script.rows[r]), r);
    for (std::size_t r = paired; r < copy.rows.size(); ++r) {
        const std::string key = keyOf(copyKey, copy.rows[r]);
        const auto match = byKey.find(key);
        if (match == byKey.end()) {
            lines(" " + key + ": not in the script");
            continue;
        }
        compareRows(script.rows[match->second], copy.rows[r]);
        byKey.erase(match);
    }
    // What the copy lacks, in the order the script wrote it.
    std::vector<std::pair<std::size_t, const std::string*>> left;
    for (const auto& [key, r] : byKey)
        left.emplace_back(r, &key);
    std::sort(left.begin(), left.end());
    for (const auto& [r, key] : left)
        if (!wholeTableExported)
            lines(" " + *key + ": not in the row copy");
}

/// Every table of the copy against the scratch database's.
void compareWithCopy(sqlite3* scratch, sqlite3* copy, const ScriptForms& forms, const ProblemSink& problem,
                     const std::function<bool()>& stopped) {
    for (int t = 0; t <= int(CopyTable::compProcs) && !stopped(); ++t) {
        const CopyTable table = CopyTable(t);
        const std::string name = copyTableName(table);
        // The two sides are read at once, each from its own connection.
        std::string copyError, loadError;
        std::optional<TableRows> copied, loaded;
        {
            const std::jthread copySide([&] {
                copied = readTable(copy, name, copyError);
                if (copied) {
                    toScriptForms(table, *copied, forms);
                    blankUncompared(table, *copied, forms);
                }
            });
            loaded = readTable(scratch, name, loadError);
            if (loaded)
                blankUncompared(table, *loaded, forms);
        }
        if (!copied || !loaded) {
            problem("reload", manifestPath(name + ": not compared: " + (copied ? loadError : copyError)));
            continue;
        }
        CappedLines lines(problem, name, "differences");
        compareTable(table, *loaded, *copied, forms, lines);
        lines.finish();
    }
}

}  // namespace

sqlite3* openImmutable(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    std::string uri = "file:";
    for (const char c : fs::absolute(path).string()) {
        // The characters a URI's path cannot hold as they are.
        if (c == '%' || c == '?' || c == '#') {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
            uri += escape;
        } else {
            uri += c;
        }
    }
    uri += "?immutable=1";
    // One thread reads it, so SQLite need not lock around every call.
    if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        error = sqlite3_errmsg(db);
    return db;
}

void checkReload(const CheckedArchive& archive, const std::string& scratchDir, const ProblemSink& problem,
                 const std::function<bool()>& stopped) {
    // The information file is not in the manifest, which names the files
    // it describes.
    const std::string info = readBelow(archive.rootFd, "PELOarchive.info").value_or("");
    const std::optional<std::string> script = readIntact(archive, populateScriptName);
    if (!script || !archive.intact.contains(rowCopyName) || info.empty() || stopped())
        return;
    const Dialect dialect = dialectNamed(infoField(info, "Database"));
    if (dialect == Dialect::none)
        return problem("reload", "not checked, PELOarchive.info names no database product");
    for (const std::string& file : reloadedFiles(dialect))
        if (archive.manifest.files.contains(file) && !archive.intact.contains(file))
            return;
    const std::string target = scratchDir + "/reload.db";
    const int made = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (made < 0 || close(made) != 0 || sqlConnect(target, "", "") != 0)
        return problem("reload", "not checked, " + target + " cannot be made: " + sqlca.sqlerrm);
    // The scratch database is thrown away: its commit need not wait for
    // the disk.
    sqlExecuteScript("PRAGMA synchronous=OFF");
    std::string error;
    std::set<std::string> writtenTwice;
    bool loaded = false;
    try {
        loaded = loadArchive(archive, dialect, *script, problem, writtenTwice);
        if (sqlCommit() < 0)
            error = "the commit fails: " + sqlca.sqlerrm;
    } catch (const ReloadError& failure) {
        error = failure.what();
    }
    sqlRollbackRelease();
    if (!error.empty())
        return problem("reload", manifestPath("not checked, " + error));
    if (!loaded)
        return;
    sqlite3* copy = openImmutable(archive.root + "/" + rowCopyName, error);
    sqlite3* scratch = nullptr;
    if (error.empty() && sqlite3_open_v2(target.c_str(), &scratch, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
                              SQLITE_OK)
        error = sqlite3_errmsg(scratch);
    if (error.empty() && !stopped()) {
        ScriptForms forms = scriptForms(archive, copy, dialect, infoField(info, "Type of archive") == "level");
        forms.writtenTwice = std::move(writtenTwice);
        compareWithCopy(scratch, copy, forms, problem, stopped);
    }
    sqlite3_close(scratch);
    sqlite3_close(copy);
}

}  // namespace pelo
