// vput: adds a revision to a PVCS stand-in archive, creating the archive
// when it does not exist yet.
//
//   vput [-rREVISION] [-aAUTHOR] [-dDATE] [-mCOMMENT] archive workfile
//
// Without -r the revision is the next on the trunk (1.0 for a new
// archive).  Errors go to standard error as "vput: error: ..." with exit
// status 1.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "pvcsArchive.h"

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "vput: error: %s\n", text.c_str());
    return 1;
}

std::string nextTrunkRevision(const pelo::pvcs::Archive& archive) {
    std::vector<int> newest;
    for (const auto& revision : archive.revisions) {
        auto fields = pelo::pvcs::parseRevisionNumber(revision.number);
        if (fields.size() == 2 && fields > newest)
            newest = fields;
    }
    if (newest.empty())
        return "1.0";
    return std::to_string(newest[0]) + "." + std::to_string(newest[1] + 1);
}

/// The command line: options -r, -a, -d, -m, then the archive and the
/// work file.  False when it does not fit.
bool parseArguments(int argc, char** argv, pelo::pvcs::Revision& revision, std::string& path,
                    std::string& workfile) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() >= 2 && arg[0] == '-') {
            std::string value = arg.substr(2);
            switch (arg[1]) {
            case 'r': revision.number = value; break;
            case 'a': revision.author = value; break;
            case 'd': revision.date = value; break;
            case 'm': revision.comment = value; break;
            default: return false;
            }
        } else if (path.empty()) {
            path = arg;
        } else if (workfile.empty()) {
            workfile = arg;
        } else {
            return false;
        }
    }
    return !workfile.empty();
}

}  // namespace

int main(int argc, char** argv) {
    pelo::pvcs::Revision revision;
    revision.author = "unknown";
    std::string path, workfile;
    if (!parseArguments(argc, argv, revision, path, workfile))
        return fail("usage: vput [-rREV] [-aAUTHOR] [-dDATE] [-mCOMMENT] archive workfile");
    std::ifstream in(workfile, std::ios::binary);
    if (!in)
        return fail("cannot read work file " + workfile);
    revision.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    pelo::pvcs::Archive archive;
    std::string error;
    if (access(path.c_str(), F_OK) == 0) {
        if (pelo::pvcs::loadArchive(path, archive, error) != 0)
            return fail(error);
    } else {
        archive.workfile = workfile.substr(workfile.rfind('/') + 1);
    }
    if (revision.number.empty())
        revision.number = nextTrunkRevision(archive);
    if (pelo::pvcs::addRevision(archive, revision, error) != 0 ||
        pelo::pvcs::saveArchive(path, archive, error) != 0)
        return fail(error);
    return 0;
}
