// vdel: deletes one revision from a PVCS stand-in archive.
//
//   vdel [-q] [-y] -rREVISION archive
//
// Without -y it asks on standard output and deletes only after an answer
// starting with "y"; with -q it prints nothing on success.  Errors go to
// standard error as "vdel: error: ..." with exit status 1.
#include <cstdio>
#include <iostream>
#include <string>

#include "pvcsArchive.h"

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "vdel: error: %s\n", text.c_str());
    return 1;
}

bool confirmed(const std::string& revision, const std::string& path) {
    std::printf("Delete revision %s of %s? (y/n) ", revision.c_str(), path.c_str());
    std::fflush(stdout);
    std::string answer;
    return std::getline(std::cin, answer) && !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace

int main(int argc, char** argv) {
    bool quiet = false, yes = false;
    std::string revision, path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-q")
            quiet = true;
        else if (arg == "-y")
            yes = true;
        else if (arg.rfind("-r", 0) == 0 && arg.size() > 2)
            revision = arg.substr(2);
        else if (arg[0] == '-')
            return fail("unknown option " + arg);
        else if (path.empty())
            path = arg;
        else
            return fail("only one archive may be named");
    }
    if (revision.empty() || path.empty())
        return fail("usage: vdel [-q] [-y] -rREVISION archive");
    pelo::pvcs::Archive archive;
    std::string error;
    if (pelo::pvcs::loadArchive(path, archive, error) != 0)
        return fail(error);
    if (!archive.find(revision))
        return fail("revision " + revision + " does not exist in " + path);
    if (!yes && !confirmed(revision, path))
        return quiet ? 0 : (std::printf("\nNothing deleted.\n"), 0);
    if (pelo::pvcs::deleteRevision(archive, revision, error) != 0 ||
        pelo::pvcs::saveArchive(path, archive, error) != 0)
        return fail(error);
    if (!quiet)
        std::printf("Deleted revision %s of %s.\n", revision.c_str(), path.c_str());
    return 0;
}
