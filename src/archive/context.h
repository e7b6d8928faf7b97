// The archive context: the run-wide state every phase of an archive run
// reads and writes.  There is exactly one, archCtx; the dialog fills the run
// settings, the driver the identity and environment, the phases the lists,
// the work files and the counters, and the clean-up reads the flags.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/dialect.h"
#include "archive/runRequest.h"
#include "archive/workFile.h"
#include "support/digest.h"
#include "support/idList.h"
#include "support/keyedList.h"
#include "support/list.h"

namespace pelo {

/// One source of the version-control histories: its id and the version ids
/// that the archive needs from it, each held once.
struct SourceEntry {
    int sourceId = 0;
    IdList versionIds;
    int highestVersionId = 0;  // of versionIds, for the hold-track test
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

// The keys the selection's lists are indexed by.
struct SourceIdOf {
    int operator()(const SourceEntry& entry) const { return entry.sourceId; }
};
struct FileIdOf {
    int operator()(const ChangeGroup& group) const { return group.fileId; }
};
struct CompMbrPairOf {
    std::uint64_t operator()(const CompMbrCopy& member) const {
        return std::uint64_t(std::uint32_t(member.parentId)) << 32 | std::uint32_t(member.childId);
    }
};

/// A file of the archive as its manifest names it: its path below the
/// archive's root (a device archive's as cpio extracts it) and its content.
struct ManifestFile {
    std::string path;
    FileDigest content;
};

using SourceIdList = KeyedList<SourceEntry, int, SourceIdOf>;
using ChangeList = KeyedList<ChangeGroup, int, FileIdOf>;
using CompMbrList = KeyedList<CompMbrCopy, std::uint64_t, CompMbrPairOf>;

/// Limits of the names typed in the dialog, in characters (not bytes).
inline constexpr int maxReleaseNameLen = 15;
inline constexpr int maxLevelNameLen = 15;
inline constexpr int maxDeviceNameLen = 15;
inline constexpr int maxDirNameLen = 195;

/// The run-wide state.  Flags are 0/1 integers; names and paths are empty
/// when unset.  A work file owns its path, descriptor and stream (WorkFile).
struct ArchiveContext {
    // Run settings: the run request once the dialog has filled it.
    RunMode mode = RunMode::archive;
    int deleteAfterArchive = 0;
    std::string levelName;
    List<std::string> relNameList;
    std::string deviceName;
    std::string fileSystemName;
    std::string workDirName;
    int workDirIsFamilyHome = 0;
    // The options answered the dialog: nothing is asked or read.
    bool scripted = false;
    // The question after cpio is answered "continue" without being asked.
    bool continueAfterCpio = false;

    // Identity and environment (the driver writes them).
    std::string familyName;
    std::string familyHomeDir;
    Dialect database = Dialect::none;  // from the installation record
    std::string vctype;    // "sccs", "SCCS", "pvcs" or "PVCS"
    // Estimated bytes of file-system space, counted exactly: a float total
    // stops growing by small files once it is past 16 MiB.  The driver
    // turns it into megabytes only when it prints it.
    std::int64_t fileSystemStore = 0;
    std::optional<std::string> pelo_home;
    std::optional<std::string> orac_home;
    std::optional<std::string> orac_dba_pass;
    std::optional<std::string> infx_home;
    std::optional<std::string> syb_home;
    std::optional<std::string> syb_pass;
    std::optional<std::string> xw_home;

    // Work files: the dialog builds their paths, createFiles opens them,
    // the phases write their streams, the clean-up removes them (see
    // workFileTable).  The names the design gives path, descriptor and
    // stream of each:
    WorkFile dbPop;         // dbPopulatePathName, dbPop_Fd, dbPop_Fp
    WorkFile archInfo;      // archiveInfoPathName, archInfo_Fd, archInfo_Fp
    WorkFile archUser;      // archiveUserPathName, archUser_Fd, archUser_Fp
    WorkFile archExport;    // archiveExportPathName, archExport_Fd, archExport_Fp
    WorkFile dbLoadNotes;   // notesDataPathName, dbLoadNotes_Fd, dbLoadNotes_Fp
    WorkFile dbLoadVers;    // versionsDataPathName, dbLoadVers_Fd, dbLoadVers_Fp
    WorkFile vcCleanPVCS;   // vcCleanPVCSPathName, vcCleanPVCS_Fd, vcCleanPVCS_Fp
    WorkFile archVCclean;   // vcCleanupPathName, archVCclean_Fd, archVCclean_Fp
    WorkFile cpioFileList;  // cpioFileListPathName, cpioFileList_Fd, cpioFileList_Fp
    WorkFile rowCopy;       // the row copy, an SQLite file the populate walk makes itself (rowCopy.h)
    WorkFile manifest;      // PELOarchive.manifest: what the archive holds (archManifest.h)

    // The manifest as written, which the read-back before removal compares
    // with what the archive reads back: every file, by path, and the SIDs or
    // revisions each history trimmed in the archive keeps, by the history's
    // path below the archive's root (the trimming records them).
    std::vector<ManifestFile> manifestFiles;
    std::map<std::string, std::vector<std::string>> keptDeltas;
    // The scratch directory a device archive's medium is read back into,
    // while it exists; the clean-up removes it.
    std::string readBackDir;

    // Progress and clean-up flags.
    int connectedToDb = 0;
    int createdFiles = 0;
    int deleteStarted = 0;
    // Set with the first deleteStarted and never cleared: from then on the
    // archive holds the only copy of what went, so the clean-up keeps it.
    // Also set when the read-back refuses removal, so that the archive
    // stays for the administrator to look at.
    int keepArchive = 0;
    int semaphoreSet = 0;
    int semval = -1;
    bool archiveNotVerified = false;  ///< the read-back found the archive differs; removal was refused

    // Id lists.  The lists of plain ids carry a hash index (IdList), so
    // that the uniqueness tests and lookups of the phases stay constant
    // time however large the family is.
    IdList releaseIdList;
    IdList levelIdList;
    IdList trackIdList;
    IdList trackIdHoldList;
    IdList fileIdList;
    IdList pathIdList;
    SourceIdList sourceIdList;
    IdList defectFeatureIdList;
    IdList destroyedSourceIdList;
    IdList processedSourceIdList;
    IdList userIdList;
    IdList compIdList;
    CompMbrList compMbrList;
    ChangeList changeList;

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

/// Where a work file is made.
enum class WorkDir {
    archive,  // fileSystemName, or workDirName in a device archive
    home,     // familyHomeDir
};

/// When a run has a work file.
enum class WorkFileNeed {
    always,
    loadFiles,      // Informix and Sybase: the run writes the notes and versions rows
    notesVersions,  // those, and the VQL database, whose export tool writes the same files
    oracleExport,   // Oracle: its export tool writes the Notes and Versions tables
    pvcs,           // a PVCS family
    deviceArchive,  // a device archive; a file-system archive gives the file no path
    ownWriter,      // never: its writer makes the file itself, as createFiles does not
};

/// One work file: the member that holds it, its name, directory and mode,
/// the messages for a file that cannot be created and for one that cannot
/// be streamed, when a run creates it, when the clean-up of a failed run
/// removes it, and its place among the leftovers the dialog reports.
struct WorkFileEntry {
    WorkFile ArchiveContext::*file;
    const char* name;
    WorkDir dir;
    mode_t mode;
    int notCreated;
    int notOpened;
    WorkFileNeed createdWhen;
    WorkFileNeed removedWhen;
    int dialogOrder;
};

/// Every work file, in the order createFiles opens them.
std::span<const WorkFileEntry> workFileTable();

/// Whether the run of archCtx has a work file of that need.
bool workFileNeeded(WorkFileNeed need);

/// The fixed name of the work file that member holds ("PELOarchive.info").
const char* workFileName(WorkFile ArchiveContext::*file);

/// Sets every work file's path from the destination in archCtx: its
/// directory, "/" and its name.  The files only a device archive has keep
/// an empty path in a file-system archive.
void buildWorkFilePaths();

/// True for a PVCS family ("pvcs" or "PVCS" in vctype).
bool vcIsPVCS();

/// True for a device archive (deviceName set).
bool isDeviceArchive();

/// True for an archive run, false for a check-only run.
bool archiving();

}  // namespace pelo
