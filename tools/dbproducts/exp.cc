// exp: the export tool of the "oracle" product, for the family database.
//
//   exp USER/PASSWORD BUFFER=N FILE=PATH INDEXES=N TABLES=notes,versions
//
// Writes every named table to FILE (the export format of familyExport.h)
// and reports on standard output.  A failure reports an error and
// "Export terminated unsuccessfully" on standard error, status 1.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "db/client.h"
#include "familyExport.h"

namespace {

int fail(const std::string& reason) {
    std::fprintf(stderr, "EXP-00008: export error: %s\nExport terminated unsuccessfully.\n", reason.c_str());
    return 1;
}

std::string upper(std::string text) {
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string user, password, file, tables;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("FILE=", 0) == 0)
            file = arg.substr(5);
        else if (arg.rfind("TABLES=", 0) == 0)
            tables = arg.substr(7);
        else if (arg.find('=') == std::string::npos && arg.find('/') != std::string::npos)
            user = arg.substr(0, arg.find('/')), password = arg.substr(arg.find('/') + 1);
    }
    if (user.empty() || file.empty() || tables.empty())
        return fail("usage: exp USER/PASSWORD FILE=PATH TABLES=T1,T2");
    if (pelo::dbproducts::failureRequested("exp"))
        return fail("the export was made to fail (PELO_DBPRODUCT_FAIL)");
    std::string error;
    if (pelo::dbproducts::connectFamily(user, password, error) != 0)
        return fail("cannot connect as " + user + ": " + error);
    std::printf("\nExport of the family database %s.\n\nAbout to export specified tables ...\n", user.c_str());
    std::istringstream list(tables);
    std::string table;
    bool first = true;
    while (std::getline(list, table, ',')) {
        long rows = pelo::dbproducts::exportTable(upper(table), file, first, error);
        if (rows < 0)
            return fail(error);
        std::printf(". . exporting table %30s %8ld rows exported\n", upper(table).c_str(), rows);
        first = false;
    }
    pelo::sqlRollbackRelease();
    std::printf("Export terminated successfully without warnings.\n");
    return 0;
}
