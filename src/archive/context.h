// The archive context: the run-wide state every phase of an archive run
// reads and writes.  There is exactly one, archCtx; the dialog fills the run
// settings, the driver the identity and environment, the phases the lists,
// the work files and the counters, and the clean-up reads the flags.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "support/idList.h"
#include "support/list.h"

namespace pelo {

/// One source of the version-control histories: its id and the version ids
/// that the archive needs from it, each held once.
struct SourceEntry {
    int sourceId = 0;
    List<int> versionIds;
};

/// A Changes row as the accessor returns it.
struct ChangeCopy {
    int pathId = 0;
    int trackId = 0;
    int fileId = 0;
    int versionId = 0;
    int levelId = 0;
    std::string type;  // at most 10 characters
    int userId = 0;
};

/// The changes of one file; the copies are not de-duplicated.
struct ChangeGroup {
    int fileId = 0;
    List<ChangeCopy> changes;
};

/// A CompMembers row; unique on (parentId, childId) within compMbrList.
struct CompMbrCopy {
    int parentId = 0;
    int childId = 0;
    int rank = 0;
    int reference = 0;
};

/// Limits of the names typed in the dialog, in characters (not bytes).
inline constexpr int maxReleaseNameLen = 15;
inline constexpr int maxLevelNameLen = 15;
inline constexpr int maxDeviceNameLen = 15;
inline constexpr int maxDirNameLen = 195;

/// The run-wide state.  Flags are 0/1 integers; names and paths are empty
/// when unset; a work file is closed when its _Fd is -1 and its _Fp null.
/// A stream is always made on its own descriptor, so whoever closes a work
/// file does it through closeWorkFile and both members are reset together.
struct ArchiveContext {
    // Run settings (the dialog writes them).
    int archiving = 1;
    int deleteAfterArchive = 0;
    std::string levelName;
    List<std::string> relNameList;
    std::string deviceName;
    std::string fileSystemName;
    std::string workDirName;
    int workDirIsFamilyHome = 0;

    // Identity and environment (the driver writes them).
    std::string familyName;
    std::string familyHomeDir;
    std::string database;  // "oracle", "informix", "sybase", "dizoz" or ""
    std::string vctype;    // "sccs", "SCCS", "pvcs" or "PVCS"
    float fileSystemStore = 0.0f;
    std::optional<std::string> pelo_home;
    std::optional<std::string> orac_home;
    std::optional<std::string> orac_dba_pass;
    std::optional<std::string> infx_home;
    std::optional<std::string> syb_home;
    std::optional<std::string> syb_pass;
    std::optional<std::string> xw_home;

    // Work-file paths (the dialog builds them from the destination).
    std::string dbPopulatePathName;
    std::string archiveInfoPathName;
    std::string archiveUserPathName;
    std::string archiveExportPathName;
    std::string notesDataPathName;
    std::string versionsDataPathName;
    std::string vcCleanupPathName;
    std::string vcCleanPVCSPathName;
    std::string cpioFileListPathName;

    // Open work files.
    int dbPop_Fd = -1;
    FILE* dbPop_Fp = nullptr;
    int archInfo_Fd = -1;
    FILE* archInfo_Fp = nullptr;
    int archUser_Fd = -1;
    FILE* archUser_Fp = nullptr;
    int archExport_Fd = -1;
    FILE* archExport_Fp = nullptr;
    int dbLoadNotes_Fd = -1;
    FILE* dbLoadNotes_Fp = nullptr;
    int dbLoadVers_Fd = -1;
    FILE* dbLoadVers_Fp = nullptr;
    int vcCleanPVCS_Fd = -1;
    FILE* vcCleanPVCS_Fp = nullptr;
    int archVCclean_Fd = -1;
    FILE* archVCclean_Fp = nullptr;
    int cpioFileList_Fd = -1;
    FILE* cpioFileList_Fp = nullptr;

    // Progress and clean-up flags.
    int connectedToDb = 0;
    int createdFiles = 0;
    int deleteStarted = 0;
    int semaphoreSet = 0;
    int semval = -1;

    // Id lists.  The lists of plain ids carry a hash index (IdList), so
    // that the uniqueness tests and lookups of the phases stay constant
    // time however large the family is.
    IdList releaseIdList;
    IdList levelIdList;
    IdList trackIdList;
    IdList trackIdHoldList;
    IdList fileIdList;
    IdList pathIdList;
    List<SourceEntry> sourceIdList;
    IdList defectFeatureIdList;
    IdList destroyedSourceIdList;
    IdList processedSourceIdList;
    IdList userIdList;
    IdList compIdList;
    List<CompMbrCopy> compMbrList;
    List<ChangeGroup> changeList;

    // Row counters.
    int numReleases = 0;
    int numApprovers = 0;
    int numEnvironments = 0;
    int numLevels = 0;
    int numLevelMembers = 0;
    int numTracks = 0;
    int numApprovals = 0;
    int numFixes = 0;
    int numTests = 0;
    int numCoreqs = 0;
    int numFiles = 0;
    int numChanges = 0;
    int numPaths = 0;
    int numVersions = 0;
    int numDefectsFeatures = 0;
    int numHistory = 0;
    int numNotes = 0;
    int numVerify = 0;
    int numSizes = 0;
    int numComponents = 0;
    int numCompMbrs = 0;
    int numUsers = 0;
    int numHosts = 0;
    int numAuthority = 0;
    int numInterest = 0;
    int numConfig = 0;
    int numCfgRelProc = 0;
    int numCfgComProc = 0;
    int numSequence = 0;
    int allNotes = 0;
    int allVersions = 0;
};

/// The one archive context of the process.
extern ArchiveContext archCtx;

/// Closes a work file: the stream when there is one (which closes its
/// descriptor), else the bare descriptor.  Both members are reset, so a
/// second call does nothing.  Returns 0, or 1 when the close failed.
int closeWorkFile(int& fd, FILE*& fp);

/// True for a PVCS family ("pvcs" or "PVCS" in vctype).
bool vcIsPVCS();

/// True for a device archive (deviceName set).
bool isDeviceArchive();

}  // namespace pelo
