#include "archive/context.h"

#include <unistd.h>

namespace pelo {

ArchiveContext archCtx;

int closeWorkFile(int& fd, FILE*& fp) {
    int result = 0;
    if (fp != nullptr)
        result = std::fclose(fp) == 0 ? 0 : 1;
    else if (fd >= 0)
        result = close(fd) == 0 ? 0 : 1;
    fp = nullptr;
    fd = -1;
    return result;
}

bool vcIsPVCS() { return archCtx.vctype == "pvcs" || archCtx.vctype == "PVCS"; }

bool isDeviceArchive() { return !archCtx.deviceName.empty(); }

}  // namespace pelo
