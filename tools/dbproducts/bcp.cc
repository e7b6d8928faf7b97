// bcp: the bulk copy tool of the "sybase" product, for the family database.
//
//   bcp TABLE out PATH -n -UUSER -PPASSWORD
//
// Copies the table out to PATH (the export format of familyExport.h).
// Failures are reported as "Msg ..., Level ..., State ...:" lines on
// standard error with status 1.
#include <cstdio>
#include <string>

#include "db/client.h"
#include "familyExport.h"

namespace {

int fail(const std::string& reason) {
    std::fprintf(stderr, "Msg 20001, Level 16, State 1:\nbcp: %s\n", reason.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::string(argv[2]) != "out")
        return fail("usage: bcp TABLE out PATH -n -UUSER -PPASSWORD");
    std::string table = argv[1], path = argv[3], user, password;
    for (int i = 4; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("-U", 0) == 0)
            user = arg.substr(2);
        else if (arg.rfind("-P", 0) == 0)
            password = arg.substr(2);
    }
    if (user.empty())
        return fail("no user named (-U)");
    if (pelo::dbproducts::failureRequested("bcp"))
        return fail("the copy was made to fail (PELO_DBPRODUCT_FAIL)");
    std::string error;
    if (pelo::dbproducts::connectFamily(user, password, error) != 0)
        return fail("cannot connect as " + user + ": " + error);
    std::printf("\nStarting copy...\n");
    long rows = pelo::dbproducts::exportTable(table, path, true, error);
    if (rows < 0)
        return fail(error);
    pelo::sqlRollbackRelease();
    std::printf("\n%ld rows copied.\n", rows);
    return 0;
}
