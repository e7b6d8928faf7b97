// vql: the command-line tool of the VQL database, for the family database.
//
//   vql CONNECT TO FAMILY
//   vql EXPORT TO PATH OF IXF "select * from TABLE"
//
// Each run is on its own: CONNECT checks that the family's database can be
// reached, EXPORT connects as the caller's login and writes the table to
// PATH (the export format of familyExport.h).  Failures print a message
// with its SQLSTATE and end with status 4 (connection) or 8 (export).
#include <cstdio>
#include <string>
#include <strings.h>

#include "db/client.h"
#include "familyExport.h"

namespace {

int fail(int status, const char* code, const std::string& reason, const char* state) {
    std::printf("%s  %s  SQLSTATE=%s\n", code, reason.c_str(), state);
    return status;
}

/// The table of "select * from TABLE", or "" for any other statement.
std::string selectedTable(const std::string& statement) {
    const std::string head = "select * from ";
    if (statement.size() <= head.size() || strncasecmp(statement.c_str(), head.c_str(), head.size()) != 0)
        return "";
    std::string table = statement.substr(head.size());
    return table.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_") == std::string::npos
               ? table : "";
}

int connect(const std::string& family) {
    std::string error;
    if (pelo::dbproducts::failureRequested("vql") ||
        pelo::dbproducts::connectFamily(family, "", error) != 0)
        return fail(4, "SQL1013N", "The database alias name or database name \"" + family + "\" could not be found.", "42705");
    pelo::sqlRollbackRelease();
    std::printf("\n   Database Connection Information\n\n Database server        = VQL family stand-in\n"
                " SQL authorization ID   = %s\n Local database alias   = %s\n\n", family.c_str(), family.c_str());
    return 0;
}

int exportTo(const std::string& path, const std::string& statement) {
    std::string table = selectedTable(statement), error;
    if (table.empty())
        return fail(8, "SQL3022N", "Only \"select * from TABLE\" can be exported.", "42601");
    if (pelo::dbproducts::failureRequested("vql"))
        return fail(8, "SQL10018N", "The export was made to fail (PELO_DBPRODUCT_FAIL).", "58030");
    if (pelo::dbproducts::connectFamily("", "", error) != 0)
        return fail(8, "SQL1013N", "The family database could not be found: " + error, "42705");
    long rows = pelo::dbproducts::exportTable(table, path, true, error);
    if (rows < 0)
        return fail(8, "SQL3001C", "The export to " + path + " failed: " + error, "58030");
    pelo::sqlRollbackRelease();
    std::printf("Export of %s to \"%s\" done.\n\nNumber of rows exported: %ld\n", table.c_str(), path.c_str(), rows);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcasecmp(argv[1], "CONNECT") == 0 && strcasecmp(argv[2], "TO") == 0)
        return connect(argv[3]);
    if (argc == 7 && strcasecmp(argv[1], "EXPORT") == 0 && strcasecmp(argv[2], "TO") == 0 &&
        strcasecmp(argv[4], "OF") == 0)
        return exportTo(argv[3], argv[6]);
    return fail(8, "SQL0104N", "The command is not understood by this tool.", "42601");
}
