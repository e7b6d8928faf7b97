// vget: writes one revision of a PVCS stand-in archive to standard output.
//
//   vget -rREVISION archive
//
// Errors go to standard error as "vget: error: ..." with exit status 1.
#include <cstdio>
#include <string>

#include "pvcsArchive.h"

int main(int argc, char** argv) {
    std::string revision, path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("-r", 0) == 0)
            revision = arg.substr(2);
        else
            path = arg;
    }
    pelo::pvcs::Archive archive;
    std::string error;
    if (revision.empty() || path.empty())
        error = "usage: vget -rREVISION archive";
    else if (pelo::pvcs::loadArchive(path, archive, error) == 0 && !archive.find(revision))
        error = "revision " + revision + " does not exist in " + path;
    if (!error.empty()) {
        std::fprintf(stderr, "vget: error: %s\n", error.c_str());
        return 1;
    }
    const std::string& data = archive.find(revision)->data;
    std::fwrite(data.data(), 1, data.size(), stdout);
    return 0;
}
