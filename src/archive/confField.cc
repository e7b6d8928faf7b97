#include "archive/confField.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "archive/confFieldLines.h"
#include "archive/context.h"
#include "db/tableDirectory.h"
#include "support/passwd.h"
#include "support/util.h"

namespace pelo {

ConfigTable defTbl;
ConfigTable featTbl;
ConfigTable fileTbl;
ConfigTable userTbl;

namespace {

/// Longest text a report keeps; the rest of a longer section is dropped.
constexpr std::size_t reportTextMax = 4095;

/// Narrow lines are read up to this many bytes.
constexpr std::size_t narrowLineMax = 199;

/// One object's report: its table, the relation it reads (by its index in
/// the table directory) and the column it finds the object by, the view
/// columns after "id", in select order, and the file of its display formats.
struct ObjectReport {
    ConfigObject object;
    ConfigTable* table;
    int relation;
    const char* keyColumn;
    const char* fixedColumns;
    const char* formatFile;
};

constexpr ObjectReport objectReports[] = {
    {ConfigObject::defect, &defTbl, 26, "name",
     "prefix,name,compName,releaseName,ownerLogin,state,answer,severity,abstract,age,envName,levelName,"
     "duplicate,lastUpdate,addDate,assignDate,responseDate,endDate,ownerName,ownerArea,reference,"
     "originLogin,originName,originArea",
     "configField/DefectConfigFormat"},
    {ConfigObject::feature, &featTbl, 28, "name",
     "prefix,name,compName,ownerLogin,ownerName,state,abstract,age,duplicate,lastUpdate,addDate,assignDate,"
     "responseDate,endDate,ownerArea,reference,originLogin,originName,originArea",
     "configField/FeatureConfigFormat"},
    {ConfigObject::file, &fileTbl, 34, "id",
     "baseName,releaseName,compName,versionSID,addDate,dropDate,lastUpdate,pathName,nuVersionSID,nuAddDate,"
     "nuDropDate,nuPathName,userLogin,fmode",
     "configField/FileConfigFormat"},
    {ConfigObject::user, &userTbl, 62, "login", "login,name,area,address,addDate,dropDate,lastUpdate,superUser",
     "configField/UserConfigFormat"},
};

static_assert(std::size(objectReports) == configObjectCount, "every object has its report");

consteval bool inObjectOrder() {
    for (std::size_t i = 0; i < configObjectCount; ++i)
        if (static_cast<std::size_t>(objectReports[i].object) != i)
            return false;
    return true;
}
static_assert(inObjectOrder(), "an object's report is found by its number");

std::array<std::string, configObjectCount> columnLists;
std::array<DisplayReports, configObjectCount> displays;

std::size_t indexOf(ConfigObject object) { return static_cast<std::size_t>(object); }

const ObjectReport& reportOf(ConfigObject object) { return objectReports[indexOf(object)]; }

/// The file below the family home (the driver caches the login's home),
/// opened only when it is a regular file that stays in the family: a FIFO
/// would block the read, and a link could lead anywhere.  Such a file reads
/// as missing here; the configuration-file phase refuses it by name.
std::ifstream openFamilyFile(const char* relativePath) {
    const std::string home = archCtx.familyHomeDir.empty() ? passwdHome() : archCtx.familyHomeDir;
    const std::string path = home + "/" + relativePath;
    std::ifstream in;
    if (familyPathRefusal(home, path, false).empty())
        in.open(path);
    else
        in.setstate(std::ios::failbit);
    return in;
}

bool isYes(const std::string& field) { return field == "yes"; }

// A line that names no column (a blank line among them) could only put an
// empty name into the statements, so it is passed over like a switched-off
// one.  Past the twentieth enabled line there is no room: the first twenty
// are kept.
void addEntry(ConfigTable& table, std::vector<std::string> fields) {
    fields.resize(std::max<std::size_t>(fields.size(), 8));
    if (fields[0] == "no" || fields[1].empty() || table.count == maxConfigFields)
        return;
    ConfigEntry& entry = table.entries[static_cast<std::size_t>(table.count)];
    entry = {fields[1], fields[2], fields[3], fields[4], fields[7], isYes(fields[5]) ? 1 : 0, 0};
    entry.required = entry.create != 0 && isYes(fields[6]) ? 1 : 0;
    if (entry.required != 0)
        table.requiredMask |= 1 << table.count;
    table.nameList += table.count == 0 ? "" : ", ";
    table.nameList += entry.dbName;
    ++table.count;
}

std::vector<std::string> splitNarrow(std::string_view line) {
    return confFieldDetail::splitBytes(line.substr(0, narrowLineMax));
}

// "id," and the object's fixed columns, then each configured name.
std::string loadRawReport(const ObjectReport& report) {
    std::string list = std::string("id,") + report.fixedColumns;
    for (int k = 0; k < report.table->count; ++k)
        list.append(",").append(report.table->entries[static_cast<std::size_t>(k)].dbName);
    return list;
}

// One section of a format file: its lines up to the one that starts with
// ':', which ends it and is dropped; lines starting with '#' are comments.
// Nothing when the file ends first.
std::optional<std::string> readSection(std::istream& in) {
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(':'))
            return section.substr(0, reportTextMax);
        if (!line.starts_with('#'))
            section.append(line).append("\n");
    }
    return std::nullopt;
}

std::optional<std::string> readColumnSection(std::istream& in) {
    std::optional<std::string> section = readSection(in);
    if (!section)
        return section;
    std::string columns = "id," + *section;
    std::ranges::replace(columns, '\n', ' ');
    return columns.substr(0, reportTextMax);
}

// The sections come in a fixed order; the first that cannot be read leaves
// its report and every later one with the built-in texts.
DisplayReports readDisplayReports(const char* formatFile) {
    DisplayReports reports;
    std::ifstream in = openFamilyFile(formatFile);
    if (!in)
        return reports;
    std::optional<std::string> texts[5];
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        texts[i] = i % 2 == 0 ? readSection(in) : readColumnSection(in);
        if (!texts[i])
            break;
    }
    if (texts[0] && texts[1])
        reports.main = {texts[0], texts[1]};
    if (texts[2] && texts[3])
        reports.second = {texts[2], texts[3]};
    if (texts[4])
        reports.third = {texts[4], std::nullopt};
    return reports;
}

}  // namespace

namespace confFieldDetail {

std::vector<std::string> splitBytes(std::string_view line) {
    std::vector<std::string> fields;
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t bar = std::min(line.find('|', start), line.size());
        fields.emplace_back(line.substr(start, std::min(bar - start, configTextMax)));
        start = bar + 1;
    }
    return fields;
}

void readTableFile(ConfigTable& table, const char* relativePath, SplitLine split) {
    table = {};
    std::ifstream in = openFamilyFile(relativePath);
    for (std::string line; std::getline(in, line);)
        addEntry(table, split(line));
}

}  // namespace confFieldDetail

void readConfigFields(ConfigTable& table, const char* relativePath) {
    if (MB_CUR_MAX > 1) {
        mbReadConfigFields(table, relativePath);
        return;
    }
    confFieldDetail::readTableFile(table, relativePath, splitNarrow);
}

void readConfigReport() {
    for (const ObjectReport& report : objectReports) {
        columnLists[indexOf(report.object)] = loadRawReport(report);
        displays[indexOf(report.object)] = readDisplayReports(report.formatFile);
    }
}

const std::string& reportColumnList(ConfigObject object) { return columnLists[indexOf(object)]; }

const char* reportRelation(ConfigObject object) { return getTableName(reportOf(object).relation); }

const char* reportKeyColumn(ConfigObject object) { return reportOf(object).keyColumn; }

int firstConfigItem(ConfigObject object) {
    const std::string_view fixed = reportOf(object).fixedColumns;
    // "id" is item 1 and the fixed columns follow it, one more than their commas.
    return static_cast<int>(std::ranges::count(fixed, ',')) + 3;
}

const ConfigTable& configTable(ConfigObject object) { return *reportOf(object).table; }

const DisplayReports& displayReports(ConfigObject object) { return displays[indexOf(object)]; }

}  // namespace pelo
