#include "archive/context.h"

#include <algorithm>

namespace pelo {

ArchiveContext archCtx;

namespace {

using enum WorkDir;
using enum WorkFileNeed;
using C = ArchiveContext;

// Columns: the member, the name, the directory, the mode, the messages for
// a file that cannot be created and for one that cannot be opened as a
// stream, when a run creates it, when the clean-up removes it, and its
// place in the dialog's report of leftovers.  The VQL database's notes and
// versions files are written by its export tool, not by createFiles, but
// once there they are the run's to remove.
constexpr WorkFileEntry workFiles[] = {
    {&C::dbPop,        "PELOarchive.dbData",       archive, 0755, 1349, 1350, always,        always,        1},
    {&C::dbLoadNotes,  "PELOarchive.notesData",    archive, 0755, 1512, 1513, loadFiles,     notesVersions, 5},
    {&C::dbLoadVers,   "PELOarchive.versionsData", archive, 0755, 1512, 1513, loadFiles,     notesVersions, 6},
    {&C::archExport,   "PELOarchive.export",       archive, 0755, 1514, 1515, oracleExport,  oracleExport,  4},
    {&C::archInfo,     "PELOarchive.info",         archive, 0644, 1351, 1352, always,        always,        2},
    {&C::archUser,     "PELOarchive.users",        archive, 0644, 1353, 1354, always,        always,        3},
    {&C::vcCleanPVCS,  "PELOarchive.PVCS_clean",   home,    0644, 1483, 1484, pvcs,          pvcs,          9},
    {&C::archVCclean,  "PELOarchive.VCcleanup",    archive, 0644, 1355, 1356, deviceArchive, deviceArchive, 7},
    {&C::cpioFileList, "PELOarchive.CPIOlist",     home,    0755, 1357, 1358, deviceArchive, deviceArchive, 8},
    {&C::rowCopy,      "PELOarchive.rows.db",      archive, 0644, 1712, 1712, ownWriter,     always,        10},
    {&C::manifest,     "PELOarchive.manifest",     archive, 0644, 1483, 1484, always,        always,        11},
};

}  // namespace

std::span<const WorkFileEntry> workFileTable() { return workFiles; }

bool workFileNeeded(WorkFileNeed need) {
    const Dialect database = archCtx.database;
    switch (need) {
    case always: return true;
    case loadFiles: return database == Dialect::informix || database == Dialect::sybase;
    case notesVersions: return workFileNeeded(loadFiles) || database == Dialect::dizoz;
    case oracleExport: return database == Dialect::oracle;
    case pvcs: return vcIsPVCS();
    case deviceArchive: return isDeviceArchive();
    case ownWriter: return false;
    }
    return false;
}

const char* workFileName(WorkFile ArchiveContext::*file) {
    return std::ranges::find(workFiles, file, &WorkFileEntry::file)->name;
}

void buildWorkFilePaths() {
    ArchiveContext& c = archCtx;
    const std::string& archiveDir = isDeviceArchive() ? c.workDirName : c.fileSystemName;
    for (const WorkFileEntry& entry : workFiles) {
        if (entry.createdWhen == deviceArchive && !isDeviceArchive())
            continue;
        const std::string& dir = entry.dir == home ? c.familyHomeDir : archiveDir;
        (c.*entry.file).setPath(dir + "/" + entry.name);
    }
}

bool vcIsPVCS() { return archCtx.vctype == "pvcs" || archCtx.vctype == "PVCS"; }

bool isDeviceArchive() { return !archCtx.deviceName.empty(); }

bool archiving() { return archCtx.mode == RunMode::archive; }

}  // namespace pelo
