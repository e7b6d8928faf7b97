// vlog: prints the log of PVCS stand-in archives.
//
//   vlog [-b] [-br] archive...
//
// Errors go to standard error as "vlog: error: ..." and the exit status is
// 1; the log itself never holds those words unless a comment does.
#include <cstdio>
#include <string>

#include "pvcsArchive.h"

int main(int argc, char** argv) {
    int archives = 0, status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-b" || arg == "-br")
            continue;
        if (arg[0] == '-') {
            std::fprintf(stderr, "vlog: error: unknown option %s\n", arg.c_str());
            return 2;
        }
        ++archives;
        pelo::pvcs::Archive archive;
        std::string error;
        if (pelo::pvcs::loadArchive(arg, archive, error) != 0) {
            std::fprintf(stderr, "vlog: error: %s\n", error.c_str());
            status = 1;
            continue;
        }
        std::string log = pelo::pvcs::formatLog(arg, archive);
        std::fwrite(log.data(), 1, log.size(), stdout);
    }
    if (archives == 0) {
        std::fprintf(stderr, "vlog: error: no archive named\nusage: vlog [-br] archive...\n");
        return 2;
    }
    return status;
}
