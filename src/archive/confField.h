// The family's configurable fields: the columns a family adds to its
// defects, features, files and users.  Their names are kept in four table
// files below the family home ("configField/DefectConfigTbl" ...); the
// populate script writer appends their values to every Defects, Files and
// Users statement, fetched by report queries whose select list is built
// here: one for each window of objects the walk reads ahead.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace pelo {

/// Most fields a table holds.  A table file with more enabled lines keeps
/// the first 20 in file order; the rest are ignored.
inline constexpr int maxConfigFields = 20;

/// Longest text of an entry, in bytes: the family keeps each in 32 bytes
/// with its terminator.  Longer fields are cut to it, never inside a
/// character.
inline constexpr std::size_t configTextMax = 31;

/// One enabled line of a table file.
struct ConfigEntry {
    std::string dbName;    ///< line field 2: the column's name in the database
    std::string attrName;  ///< field 3
    std::string label;     ///< field 4
    std::string title;     ///< field 5
    std::string type;      ///< field 8, empty when the line has none
    int create = 0;        ///< 1 when field 6 is "yes"
    int required = 0;      ///< 1 when created and field 7 is "yes"
};

/// The configurable fields of one kind of object.
struct ConfigTable {
    int count = 0;            ///< entries in use, 0 to maxConfigFields
    int requiredMask = 0;     ///< bit n set when entry n is required
    std::string nameList;     ///< the DB column names joined by ", "
    std::array<ConfigEntry, maxConfigFields> entries;
};

/// The four tables, filled by readConfigFields at the start of the
/// object selection and read-only afterwards.
extern ConfigTable defTbl;
extern ConfigTable featTbl;
extern ConfigTable fileTbl;
extern ConfigTable userTbl;

/// Fills the table from the file at relativePath below the family home
/// (archCtx.familyHomeDir; the login's home, passwdHome, before the driver
/// has set it).  A missing or unreadable file leaves the table empty.
///
/// A line holds up to eight fields separated by '|', its new-line removed;
/// a first field of exactly "no" switches the field off and the line is
/// skipped.  A line with fewer fields gives empty texts for the missing
/// ones (a missing field 6 or 7 is not "yes"); fields after the eighth are
/// ignored.  Lines are read up to 199 bytes; the rest of a longer line is
/// dropped.  When the locale's characters may be longer than one byte
/// (MB_CUR_MAX > 1) the file is read by mbReadConfigFields instead.
void readConfigFields(ConfigTable& table, const char* relativePath);

/// The same for multibyte locales: lines up to 599 bytes (cut between
/// characters), split on the wide character '|', so that no byte inside a
/// character can split a field.  Gives the table readConfigFields gives for
/// the same file whenever both can read it.
void mbReadConfigFields(ConfigTable& table, const char* relativePath);

/// The objects that carry configurable fields.
enum class ConfigObject { defect, feature, file, user };

/// How many kinds of object there are, for tables indexed by ConfigObject.
inline constexpr std::size_t configObjectCount = 4;

/// Builds the report column list of each object from its fixed columns and
/// its table (read the tables first), and reads the four report-format
/// files below the family home ("configField/DefectConfigFormat" ...) into
/// the display reports.
void readConfigReport();

/// The select list of the object's report: "id", a comma, the object's
/// fixed view columns joined by commas, then a comma and each configured DB
/// column name.  Empty before readConfigReport.
const std::string& reportColumnList(ConfigObject object);

/// The relation the object's report reads: DefectView, FeatureView,
/// FileView or Users.
const char* reportRelation(ConfigObject object);

/// The column the object's report finds it by: "name" for defects and
/// features, "id" for files, "login" for users.
const char* reportKeyColumn(ConfigObject object);

/// The select item (counting "id" as 1, so also the value slot) of the
/// object's first configured field: 26, 21, 16 or 10.
int firstConfigItem(ConfigObject object);

/// The object's table: defTbl, featTbl, fileTbl or userTbl.
const ConfigTable& configTable(ConfigObject object);

/// One report of the family's display of an object.  A text that no
/// format file gave is nullopt: the display uses its built-in one.
struct DisplayReport {
    std::optional<std::string> format;
    std::optional<std::string> columns;  ///< "id," and the file's list
};

/// The three reports of an object's display: the third has no column list.
struct DisplayReports {
    DisplayReport main;
    DisplayReport second;
    DisplayReport third;
};

/// What readConfigReport read from the object's format file.  The archive
/// itself never uses it.
const DisplayReports& displayReports(ConfigObject object);

}  // namespace pelo
