#include "db/dbgFilesoutview.h"

#include "db/accessor.h"

namespace pelo {

int dbgFilesoutviewExistsForRelease(std::string_view releaseName) {
    return accessorExists(
        "SELECT COUNT(*)INTO :b1 FROM FILESOUTVIEW WHERE RELEASENAME=:b2",
        {{2, textKey(releaseName, &FilesoutViewRecord::RELEASENAME, "RELEASENAME")}});
}

}  // namespace pelo
