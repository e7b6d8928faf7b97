// isql: the SQL tool of the "informix" product, for the family database.
//
//   isql DATABASE < statements
//
// Runs the statements of its standard input against the family database
// (PELO_DB, or family.db in the caller's home), connected as the caller
// (on PostgreSQL, libpq's PGUSER and PGPASSWORD when set): plain
// statements, "commit work" and the load statements of a populate script.
// A failure prints the statement and the reason and ends with status 1,
// committing nothing since the last "commit work".
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "db/client.h"
#include "familyExport.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("isql: no database named; usage: isql DATABASE < statements\n");
        return 1;
    }
    std::string error;
    if (pelo::dbproducts::failureRequested("isql") ||
        pelo::dbproducts::connectFamily("", "", error) != 0) {
        std::printf("  329: Database %s not found or no system permission. %s\n", argv[1], error.c_str());
        return 1;
    }
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (pelo::dbproducts::runStatements(text, error) != 0) {
        std::printf("  201: A syntax error or a failed statement: %s\n", error.c_str());
        pelo::sqlRollbackRelease();
        return 1;
    }
    pelo::sqlRollbackRelease();
    std::printf("Database selected.\nDatabase closed.\n");
    return 0;
}
