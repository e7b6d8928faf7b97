#include "target.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "archive/scriptReader.h"
#include "db/client.h"
#include "db/schema.h"
#include "familyExport.h"

namespace pelo::reload {
namespace {

/// The family keeps at most this many configurable fields per object kind.
constexpr std::size_t configuredFieldsMax = 20;

/// The DB column names (field 2) of the enabled lines of a field table;
/// a line whose first field is "no" is switched off.
std::vector<std::string> configuredColumns(const std::string& path) {
    std::vector<std::string> columns;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line) && columns.size() < configuredFieldsMax;) {
        const std::size_t bar = line.find('|');
        if (bar == std::string::npos || line.compare(0, bar, "no") == 0)
            continue;
        const std::size_t end = line.find('|', bar + 1);
        columns.push_back(line.substr(bar + 1, end == std::string::npos ? end : end - bar - 1));
    }
    return columns;
}

void addColumns(const char* table, const std::vector<std::string>& columns) {
    for (const std::string& column : columns) {
        if (!dbproducts::isSqlName(column))
            throw ReloadError("configField: \"" + column + "\" is not a column name");
        const std::string text = std::string("ALTER TABLE ") + table + " ADD COLUMN " + column + " VARCHAR(254)";
        if (sqlExecuteScript(text) < 0)
            throw ReloadError(text + ": " + sqlca.sqlerrm);
    }
}

/// How much of a failed statement a message shows: enough to find it.
std::string excerpt(std::string_view statement) {
    constexpr std::size_t shown = 100;
    if (statement.size() <= shown)
        return std::string(statement);
    std::size_t cut = shown;
    while (cut > 0 && (static_cast<unsigned char>(statement[cut]) & 0xC0) == 0x80)
        --cut;  // never inside a UTF-8 character
    return std::string(statement.substr(0, cut)) + " ...";
}

}  // namespace

void connectTarget(const std::string& target, const std::string& login, const std::string& password, bool create) {
    if (create && target.find("://") == std::string::npos) {
        const int fd = open(target.c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0)
            throw ReloadError("cannot create " + target);
        close(fd);
    }
    if (sqlConnect(target, login, password) != 0)
        throw ReloadError("cannot connect to " + target + ": " + sqlca.sqlerrm);
}

void createFamilySchema(const std::string& archiveDir) {
    if (sqlExecuteScript(familySchemaSql()) < 0)
        throw ReloadError("the family schema cannot be created: " + sqlca.sqlerrm);
    const std::string fields = archiveDir + "/configField/";
    // Defects and features share the Defects table, whose insert names its
    // columns: a field of both kinds is one column.
    std::vector<std::string> defectColumns = configuredColumns(fields + "DefectConfigTbl");
    for (const std::string& column : configuredColumns(fields + "FeatureConfigTbl"))
        if (std::none_of(defectColumns.begin(), defectColumns.end(),
                         [&](const std::string& c) { return strcasecmp(c.c_str(), column.c_str()) == 0; }))
            defectColumns.push_back(column);
    addColumns("DEFECTS", defectColumns);
    addColumns("FILES", configuredColumns(fields + "FileConfigTbl"));
    addColumns("USERS", configuredColumns(fields + "UserConfigTbl"));
}

long runScript(std::string_view script, Dialect dialect) {
    ScriptReader reader(script, dialect);
    long count = 0;
    for (ScriptStatement statement; reader.next(statement);) {
        if (isTransactionControl(statement.text))
            continue;
        if (sqlExecuteScript(statement.text) < 0)
            scriptError(statement.line, sqlca.sqlerrm + "\n  " + excerpt(statement.text));
        ++count;
    }
    if (const auto& fault = reader.fault())
        scriptError(fault->line, fault->reason);
    return count;
}

long importExports(const std::string& archiveDir, Dialect dialect) {
    const std::vector<std::string> files =
        dialect == Dialect::oracle ? std::vector<std::string>{"PELOarchive.export"}
                                   : std::vector<std::string>{"PELOarchive.notesData", "PELOarchive.versionsData"};
    long rows = 0;
    for (const std::string& file : files) {
        std::string error;
        const long imported = dbproducts::importTables(archiveDir + "/" + file, error);
        if (imported < 0)
            throw ReloadError(error);
        rows += imported;
    }
    return rows;
}

}  // namespace pelo::reload
