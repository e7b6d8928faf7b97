#include "archive/archUtil.h"

#include <cstdio>

namespace pelo {

std::string cpioListLine(WorkFile ArchiveContext::*file) {
    const ArchiveContext& c = archCtx;
    const std::string& path = (c.*file).path();
    if (c.workDirIsFamilyHome)
        return std::string("./") + workFileName(file) + "\n";
    // Only a path below the home can be cut to one relative to it: a home
    // of "/home/fam" must not turn "/home/family/x" into "ily/x".
    if (!c.familyHomeDir.empty() && path.starts_with(c.familyHomeDir + "/"))
        return "." + path.substr(c.familyHomeDir.size()) + "\n";
    return path + "\n";
}

int addCpioListEntry(WorkFile ArchiveContext::*file) {
    FILE* list = archCtx.cpioFileList.fp();
    if (list == nullptr)
        return 1;
    return std::fputs(cpioListLine(file).c_str(), list) < 0 ? 1 : 0;
}

}  // namespace pelo
