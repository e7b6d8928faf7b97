// The level maps of the archived levels and the family's configuration
// files: sized in a check-only run, copied below the archive directory in
// a file-system archive, named in the cpio list in a device archive.
#include <cstring>
#include <string>
#include <vector>

#include "archive/archFiles.h"
#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "db/dbgLevel.h"
#include "db/dbgRelease.h"
#include "db/records.h"
#include "support/fileCopy.h"
#include "support/msg.h"
#include "support/util.h"

namespace pelo {

namespace {

enum class Mode { checkOnly, fileSystem, device };

Mode mode() {
    if (!archiving())
        return Mode::checkOnly;
    return isDeviceArchive() ? Mode::device : Mode::fileSystem;
}

/// What keeps a family file from being used, or "" when it may be.
std::string refusal(const std::string& path) { return familyPathRefusal(archCtx.familyHomeDir, path, false); }

// ---- level maps -------------------------------------------------------------

struct MapLevel {
    std::int32_t releaseId;
    std::string name;
};

struct MapRelease {
    std::int32_t id;
    std::string name;
};

/// The relative place of a map, "maps/R/L".
std::string mapPath(const MapRelease& release, const MapLevel& level) {
    return "maps/" + release.name + "/" + level.name;
}

// Each release and level is read once; the pairs are then formed in list
// order, releases outside, as the dots of the progress line count them.
std::vector<MapRelease> archivedReleases() {
    std::vector<MapRelease> releases;
    for (int id : archCtx.releaseIdList) {
        ReleaseRecord release{};
        dbgReleaseGetById(release, id);
        releases.push_back({release.ID, release.NAME});
    }
    return releases;
}

std::vector<MapLevel> archivedLevels() {
    std::vector<MapLevel> levels;
    for (int id : archCtx.levelIdList) {
        LevelRecord level{};
        dbgLevelGetById(level, id);
        levels.push_back({level.RELEASEID, level.NAME});
    }
    return levels;
}

/// 0 when the map may be used; else 1 after the message of the run's kind.
int refuseMap(const MapRelease& release, const MapLevel& level) {
    const ArchiveContext& c = archCtx;
    const std::string path = c.familyHomeDir + "/" + mapPath(release, level);
    const std::string why = refusal(path);
    if (why.empty())
        return 0;
    if (mode() != Mode::fileSystem)
        return refuseFamilyFile(path, why);
    msgPrint(1368, programName, level.name.c_str(), release.name.c_str(), c.fileSystemName.c_str(), why.c_str());
    return 1;
}

// A device archive names each map in the cpio list; a failed write skips
// the rest of that release's levels and fails the phase, but the other
// releases are still listed.
int listMaps(const std::vector<MapRelease>& releases, const std::vector<MapLevel>& levels) {
    int result = 0;
    for (const MapRelease& release : releases) {
        for (const MapLevel& level : levels) {
            workDot();
            if (level.releaseId != release.id)
                continue;
            if (refuseMap(release, level) != 0)
                return 1;
            const std::string path = mapPath(release, level);
            if (writeCpioLine("./" + path + "\n") != 0 ||
                writeInfoLine(archCtx.familyHomeDir + "/" + path + "\n") != 0) {
                result = 1;
                break;
            }
        }
    }
    return result;
}

int copyMap(const MapRelease& release, const MapLevel& level) {
    const ArchiveContext& c = archCtx;
    if (refuseMap(release, level) != 0)
        return 1;
    const std::string releaseDir = c.fileSystemName + "/maps/" + release.name;
    int result = 0;
    if (!dirExists(releaseDir.c_str()) && makeDir(releaseDir.c_str(), 0755) != 0) {
        msgPrint(1371, programName, c.fileSystemName.c_str());
        result = 1;  // the copy below is still tried
    }
    const std::string path = mapPath(release, level);
    const std::string complaint = copyRegularFile(c.familyHomeDir + "/" + path, c.fileSystemName + "/" + path);
    if (!complaint.empty()) {
        msgPrint(1368, programName, level.name.c_str(), release.name.c_str(), c.fileSystemName.c_str(),
                 complaint.c_str());
        return 1;
    }
    if (writeInfoLine(c.familyHomeDir + "/" + path + "\n") != 0)
        return 1;
    return result;
}

// The first failure ends the walk once its release has been visited.
int copyMaps(const std::vector<MapRelease>& releases, const std::vector<MapLevel>& levels) {
    const std::string mapsDir = archCtx.fileSystemName + "/maps";
    if (makeDir(mapsDir.c_str(), 0755) != 0) {
        msgPrint(1370, programName, archCtx.fileSystemName.c_str());
        return 1;
    }
    int result = 0;
    for (const MapRelease& release : releases) {
        for (const MapLevel& level : levels) {
            workDot();
            if (level.releaseId == release.id && copyMap(release, level) != 0) {
                result = 1;
                break;
            }
        }
        if (result != 0)
            break;
    }
    return result;
}

int sizeMaps(const std::vector<MapRelease>& releases, const std::vector<MapLevel>& levels) {
    for (const MapRelease& release : releases) {
        for (const MapLevel& level : levels) {
            workDot();
            if (level.releaseId != release.id)
                continue;
            if (refuseMap(release, level) != 0)
                return 1;
            const std::string path = archCtx.familyHomeDir + "/" + mapPath(release, level);
            off_t size = 0;
            if (getFileSize(path.c_str(), size) != 0) {
                msgPrint(1369, programName, path.c_str());
                return 1;
            }
            archCtx.fileSystemStore += size;
        }
    }
    return 0;
}

// ---- configuration files ------------------------------------------------------

constexpr const char* homeConfigFiles[] = {"config.ld", "authority.ld", "interest.ld", "cfgcomproc.ld",
                                           "cfgrelproc.ld"};
constexpr const char* configFieldFiles[] = {"DefectConfigTbl",    "FeatureConfigTbl",    "UserConfigTbl",
                                            "FileConfigTbl",      "DefectConfigFormat",  "FeatureConfigFormat",
                                            "UserConfigFormat",   "FileConfigFormat"};

// One configuration file that exists: copied or sized, then named in the
// information file and, for a device archive, in the cpio list.
int archiveConfigFile(const std::string& relative, int intoConfigField) {
    const std::string path = archCtx.familyHomeDir + "/" + relative;
    if (copyFileToDest(path.c_str(), intoConfigField) != 0)
        return 1;
    if (archiving() && writeInfoLine(path + "\n") != 0)
        return 1;
    if (mode() == Mode::device && writeCpioLine("./" + relative + "\n") != 0)
        return 1;
    return 0;
}

/// A configuration file to archive: one that is there, or one that is
/// refused, which copyFileToDest then reports.  The test does not stat
/// through a link out of the family.
bool configFileTaken(const std::string& relative) {
    const std::string path = archCtx.familyHomeDir + "/" + relative;
    return !refusal(path).empty() || fileIsThere(path.c_str());
}

}  // namespace

int refuseFamilyFile(const std::string& path, const std::string& why) {
    if (mode() == Mode::device)
        msgPrint(1703, programName, path.c_str(), archCtx.deviceName.c_str(), why.c_str());
    else
        msgPrint(1702, programName, path.c_str(), why.c_str());
    return 1;
}

int copyFileToDest(const char* path, int intoConfigField) {
    workDot();
    if (const std::string why = refusal(path); !why.empty()) {
        if (mode() != Mode::fileSystem)
            return refuseFamilyFile(path, why);
        msgPrint(1372, programName, path, archCtx.fileSystemName.c_str(), why.c_str());
        return 1;
    }
    switch (mode()) {
    case Mode::device:
        return 0;
    case Mode::checkOnly: {
        off_t size = 0;
        if (getFileSize(path, size) != 0) {
            msgPrint(1373, path);
            return 1;
        }
        archCtx.fileSystemStore += size;
        return 0;
    }
    case Mode::fileSystem:
        break;
    }
    const char* name = std::strrchr(path, '/');
    const std::string target =
        archCtx.fileSystemName + (intoConfigField ? "/configField" : "") + (name != nullptr ? name : "/");
    const std::string complaint = copyRegularFile(path, target);
    if (complaint.empty())
        return 0;
    msgPrint(1372, programName, path, archCtx.fileSystemName.c_str(), complaint.c_str());
    return 1;
}

int getLevelMaps() {
    msgPrint(1329);
    if (archCtx.levelIdList.listSize() == 0) {
        msgPrint(1333);
        return 0;
    }
    if (archiving() && writeInfoHeading(1452) != 0)
        return 1;
    const std::vector<MapRelease> releases = archivedReleases();
    const std::vector<MapLevel> levels = archivedLevels();
    int result = 0;
    switch (mode()) {
    case Mode::device:
        result = listMaps(releases, levels);
        break;
    case Mode::fileSystem:
        result = copyMaps(releases, levels);
        break;
    case Mode::checkOnly:
        result = sizeMaps(releases, levels);
        break;
    }
    if (result == 0)
        msgPrint(1333);
    return result;
}

int getFamilyConfigFiles() {
    msgPrint(1329);
    if (archiving() && writeInfoHeading(1453) != 0)
        return 1;
    for (const char* name : homeConfigFiles)
        if (configFileTaken(name) && archiveConfigFile(name, 0) != 0)
            return 1;
    if (mode() == Mode::fileSystem) {
        const std::string dir = archCtx.fileSystemName + "/configField";
        if (makeDir(dir.c_str(), 0755) != 0) {
            msgPrint(1370, programName, archCtx.fileSystemName.c_str());
            return 1;
        }
    }
    for (const char* name : configFieldFiles) {
        const std::string relative = std::string("configField/") + name;
        if (configFileTaken(relative) && archiveConfigFile(relative, 1) != 0)
            return 1;
    }
    msgPrint(1333);
    return 0;
}

}  // namespace pelo
