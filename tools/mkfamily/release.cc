// The plan of one release: its files (inherited from the release before or
// made by its tracks), its levels in commit order, and the tracks of each
// level and between levels, each with its changes and versions.
#include <algorithm>

#include "planner.h"
#include "text.h"
#include "vc/location.h"

namespace pelo::family {
namespace {

const char* const unleveledStates[] = {"approve", "fix", "integrate", "test", "commit", "complete"};

std::string nextSid(Planner& p, File& file, const Source& source) {
    if (!p.pvcs())
        return "1." + std::to_string(source.versionIds.size() + 1);
    FileLine& line = p.lines[file.ID];
    if (!line.branch.empty())
        return line.branch + "." + std::to_string(line.branchNext++);
    SourceTrunk& trunk = p.trunks[source.id];
    if (!trunk.any) {
        trunk.any = true;
    } else if (p.lastRelease && !p.majorTwoDone && source.fileType == vcText) {
        // One history of the last release moves on to 2.0, which the
        // archive never examines.
        p.majorTwoDone = true;
        trunk = {2, 0, true};
    } else {
        ++trunk.minor;
    }
    return std::to_string(trunk.major) + "." + std::to_string(trunk.minor);
}

void countLines(Version& version, const std::string& content) {
    version.RAWLINES = int(std::count(content.begin(), content.end(), '\n'));
    version.COMMENTLINES = 2;
    version.CODELINES = version.RAWLINES - 2;
    version.VERSIZE = int(content.size());
}

int newSource(Planner& p) {
    Source source;
    source.id = int(p.family.sources.size()) + 1;
    source.fileType = vcText;
    // Binary and special histories come at fixed intervals, so even the
    // smallest family has each kind the version-control kind allows.
    int binaryEvery = 100 / std::max(1, p.plan.binaryPercent);
    if (source.id % binaryEvery == 0) {
        const int sccsTypes[] = {vcSCCSBinary, vcLong, vcLongSpecial};
        source.fileType = p.pvcs() ? vcPVCSBinary : sccsTypes[(source.id / binaryEvery) % 3];
    } else if (source.id % (binaryEvery + 1) == 0) {
        source.fileType = vcSpecial;
    }
    p.family.sources.push_back(source);
    return source.id;
}

const char* typeText(int fileType) {
    switch (fileType) {
    case vcText: return "text";
    case vcLong: return "long";
    case vcSpecial: return "special";
    case vcLongSpecial: return "longSp";
    default: return "binary";
    }
}

File& createFile(Planner& p, const Release& release, const Track& track) {
    File file;
    file.ID = int(p.family.files.size()) + 1;
    file.SOURCEID = newSource(p);
    int fileType = p.family.sources.back().fileType;
    file.COMPID = p.random.between(3, p.plan.components + 1);
    file.BASENAME = "file" + std::to_string(file.SOURCEID) + (fileType == vcText ? ".c" : ".dat");
    file.PATHID = file.NUPATHID =
        newPath(p, "src/" + p.family.components[std::size_t(file.COMPID - 2)].NAME + "/" + file.BASENAME);
    file.ADDDATE = file.NUADDDATE = file.LASTUPDATE = p.tick(1);
    file.TYPE = typeText(fileType);
    file.RELEASEID = release.ID;
    file.USERLOGIN = p.login(track.USERID);
    file.FMODE = file.SOURCEID % 5 ? "644" : "755";
    file.checksum = std::to_string(file.SOURCEID * 7777 % 65536);
    p.family.files.push_back(file);
    p.releaseFiles.push_back(file.ID);
    return p.family.files.back();
}

/// A change to a file the release already has: mostly a new version,
/// sometimes a rename, a deletion or a link to the current version.
void changeFile(Planner& p, const Track& track, File& file, Change& change) {
    bool committed = track.STATE == "complete" || track.STATE == "commit";
    int roll = p.random.below(100);
    std::size_t made = p.family.sources[std::size_t(file.SOURCEID - 1)].versionIds.size();
    if (made >= std::size_t(p.plan.maxVersionsPerSource) && roll < 82)
        roll = 98;
    change.VERSIONID = file.NUVERSIONID;
    if (roll < 82) {
        change.TYPE = "delta";
        change.VERSIONID = newVersion(p, file, track.USERID, p.tick(1));
        if (committed)
            file.VERSIONID = file.NUVERSIONID;
    } else if (roll >= 97) {
        change.TYPE = "link";
    } else if (roll < 92 || p.releaseFiles.size() < 4) {
        change.TYPE = "rename";
        file.NUPATHID = newPath(p, p.family.paths[std::size_t(file.NUPATHID - 1)].NAME + ".r" + std::to_string(track.ID));
        if (committed)
            file.PATHID = file.NUPATHID;
    } else {
        change.TYPE = "delete";
        file.DROPDATE = file.NUDROPDATE = p.tick(1);
        p.releaseFiles.erase(std::find(p.releaseFiles.begin(), p.releaseFiles.end(), file.ID));
    }
    file.LASTUPDATE = p.tick(0);
}

Change makeChange(Planner& p, const Release& release, const Track& track, int levelId) {
    Change change;
    change.TRACKID = track.ID;
    change.LEVELID = levelId;
    change.USERID = track.USERID;
    if (p.releaseFiles.empty() || p.random.chance(p.createPercent)) {
        File& file = createFile(p, release, track);
        change.TYPE = "create";
        change.FILEID = file.ID;
        change.VERSIONID = newVersion(p, file, track.USERID, file.ADDDATE);
    } else {
        File& file = p.family.files[std::size_t(p.random.pick(p.releaseFiles) - 1)];
        change.FILEID = file.ID;
        changeFile(p, track, file, change);
    }
    change.PATHID = p.family.files[std::size_t(change.FILEID - 1)].NUPATHID;
    return change;
}

int pickDefect(Planner& p, const Release& release, const Track& track) {
    if (!p.previousDefects.empty() && p.random.chance(15))
        return p.random.pick(p.previousDefects);
    Defect d;
    d.ID = int(p.family.defects.size()) + 1;
    bool feature = p.random.chance(25);
    d.TYPE = feature ? "feature" : "defect";
    d.PREFIX = feature ? "f" : "d";
    d.NAME = std::to_string(1000 + d.ID);
    d.COMPID = p.random.between(2, p.plan.components + 1);
    d.ENVNAME = p.random.chance(70) ? "linux" : "aix";
    d.SEVERITY = feature ? "" : p.family.config[std::size_t(p.random.below(4))].NAME;
    d.ABSTRACT = abstractText(p.random);
    d.REFERENCE = d.ID % 4 ? "" : "CR-" + std::to_string(d.ID);
    d.ADDDATE = d.ASSIGNDATE = d.RESPONSEDATE = p.tick(2);
    d.LASTUPDATE = track.ADDDATE;
    d.ORIGINID = p.userId();
    d.OWNERID = track.USERID;
    d.AGE = p.random.between(0, 400);
    d.RELEASEID = release.ID;
    d.priority = std::to_string(d.ID % 4 + 1);
    d.customer = d.ID % 3 ? "" : "ACME; \"Inc\"";
    d.platform = d.ID % 2 ? "x86" : "power|ppc";
    p.family.history.push_back({d.ID, d.ORIGINID, "open", d.ADDDATE});
    p.family.history.push_back({d.ID, d.OWNERID, "accept", d.ASSIGNDATE});
    int length = d.ID == 1 ? 32000 : p.random.between(1, p.plan.noteLength);
    p.family.notes.push_back({d.ID, d.ORIGINID, "open", d.ADDDATE, remarkText(p.random, length)});
    if (p.random.chance(50))
        p.family.notes.push_back({d.ID, d.OWNERID, "note", p.tick(1), remarkText(p.random, p.random.between(1, 80))});
    p.family.defects.push_back(d);
    return d.ID;
}

/// Plans one track with its changes, rows and level membership.
void planTrack(Planner& p, const Release& release, Level* level, const std::string& state) {
    Track track;
    track.ID = int(p.family.tracks.size()) + 1;
    track.RELEASEID = release.ID;
    track.USERID = p.userId();
    track.STATE = state;
    track.ADDDATE = p.tick(p.plan.minutesPerTrack / 2);
    track.DEFECTID = pickDefect(p, release, track);
    track.TARGET = level ? level->NAME : "";
    track.ACTUAL = level ? level->NAME : "";
    int changes = state == "approve" ? 0 : p.random.between(1, p.plan.maxChangesPerTrack);
    for (int c = 0; c < changes; ++c)
        p.family.changes.push_back(makeChange(p, release, track, level ? level->ID : 0));
    track.LASTUPDATE = p.tick(p.plan.minutesPerTrack / 2);
    if (level) {
        p.family.levelMembers.push_back({level->ID, track.ID});
        ++level->LEVELSIZE;
    }
    p.family.tracks.push_back(track);
    planTrackRows(p, p.family.tracks.back(), p.lastRelease);
}

Release& addRelease(Planner& p, int index) {
    Release r;
    r.ID = index + 1;
    r.NAME = "rel" + std::to_string(index + 1);
    r.COMPID = index % 2 ? 3 : 2;
    r.BINDING = "no";
    r.DESCRIPTION = "Release " + std::to_string(index + 1) + " of the family";
    r.USERID = 1;
    r.ADDDATE = r.LASTUPDATE = p.tick(60);
    r.RELSIZE = 0;
    r.PROCESS = index % 3 == 2 ? "light" : "full";
    r.TRACK = r.APPROVE = r.FIX = r.LVL = r.TEST = "yes";
    p.family.releases.push_back(r);
    for (const char* env : {"linux", "aix"})
        p.family.environments.push_back({env, r.ID, p.userId()});
    p.family.approvers.push_back({r.ID, 2});
    p.family.approvers.push_back({r.ID, 3});
    return p.family.releases.back();
}

/// The files of the release before that this release carries on: they
/// share their source, and their version chains go on from there.
void inheritFiles(Planner& p, const Release& release) {
    std::vector<int> previous = p.releaseFiles;
    p.releaseFiles.clear();
    for (std::size_t i = 0; i < previous.size(); ++i) {
        File file = p.family.files[std::size_t(previous[i] - 1)];
        if (file.destroyed || !file.DROPDATE.empty() || (i >= 3 && !p.random.chance(p.plan.sharePercent)))
            continue;
        FileLine line = p.lines[file.ID];
        const std::string& sid = p.family.versions[std::size_t(file.NUVERSIONID - 1)].SID;
        std::string key = std::to_string(file.SOURCEID) + ":" + sid;
        if (p.pvcs() && line.branch.empty() && i >= 3 && p.random.chance(30) && !p.branchesUsed.count(key)) {
            p.branchesUsed.insert(key);
            line = {sid + ".1", 0};
        }
        file.ID = int(p.family.files.size()) + 1;
        file.RELEASEID = release.ID;
        file.ADDDATE = file.NUADDDATE = file.LASTUPDATE = p.tick(1);
        file.VERSIONID = file.NUVERSIONID;
        file.PATHID = file.NUPATHID;
        p.family.files.push_back(file);
        p.lines[file.ID] = line;
        p.releaseFiles.push_back(file.ID);
    }
}

/// After the first release: one text and one binary file of it lose their
/// rows, so their sources are destroyed while their changes remain.
void destroySomeFiles(Planner& p) {
    bool text = false, binary = false;
    for (std::size_t i = 3; i < p.releaseFiles.size(); ++i) {
        File& file = p.family.files[std::size_t(p.releaseFiles[i] - 1)];
        Source& source = p.family.sources[std::size_t(file.SOURCEID - 1)];
        bool isText = source.fileType == vcText;
        if ((isText && text) || (!isText && binary))
            continue;
        (isText ? text : binary) = true;
        file.destroyed = source.destroyed = true;
    }
}

void planDsrDefects(Planner& p, const Release& release) {
    for (const char* state : {"open", "design", "size", "review", "returned", "canceled"}) {
        Track none;
        none.USERID = p.userId();
        none.ADDDATE = p.tick(30);
        int id = pickDefect(p, release, none);
        Defect& defect = p.family.defects[std::size_t(id - 1)];
        if (!defect.STATE.empty() || defect.RELEASEID != release.ID)
            continue;  // an old defect came back: leave it as it is
        defect.STATE = state;
        p.family.sizes.push_back({id, defect.COMPID, defect.OWNERID, defect.ADDDATE, defect.ADDDATE,
                                  std::string(state) == "size" ? "ready" : "notReady", "", release.ID});
    }
}

/// Makes a track of one level of the release a member of another one too.
void addSecondLevel(Planner& p, int releaseId, int from, int to) {
    std::vector<Level*> levels;
    for (Level& level : p.family.levels)
        if (level.RELEASEID == releaseId)
            levels.push_back(&level);
    for (const Track& track : p.family.tracks)
        if (track.RELEASEID == releaseId && track.ACTUAL == levels[std::size_t(from)]->NAME) {
            p.family.levelMembers.push_back({levels[std::size_t(to)]->ID, track.ID});
            ++levels[std::size_t(to)]->LEVELSIZE;
            return;
        }
}

/// One level with its tracks, committed after them (unless it is still
/// integrating).  Every level of the last release but its last two is
/// complete, those are in commit and integrate; all others are complete.
const Level& planLevel(Planner& p, int index, int i) {
    int levels = p.plan.levelsPerRelease;
    Level level;
    level.ID = int(p.family.levels.size()) + 1;
    level.NAME = "r" + std::to_string(index + 1) + "lvl" + (i < 9 ? "0" : "") + std::to_string(i + 1);
    level.RELEASEID = p.family.releases.back().ID;
    level.USERID = 1;
    level.ADDDATE = p.tick(10);
    level.TYPE = i % 2 ? "development" : "production";
    level.STATE = !p.lastRelease || i < levels - 2 ? "complete" : i == levels - 2 ? "commit" : "integrate";
    std::string trackState = level.STATE;
    p.family.levels.push_back(level);
    for (int t = 0; t < p.plan.tracksPerLevel; ++t)
        planTrack(p, p.family.releases.back(), &p.family.levels.back(), trackState);
    Level& planned = p.family.levels.back();
    planned.LASTUPDATE = p.tick(30);
    planned.COMMITDATE = planned.STATE == "integrate" ? "" : planned.LASTUPDATE;
    return planned;
}

}  // namespace

int newPath(Planner& p, const std::string& name) {
    auto [it, added] = p.pathIds.emplace(name, int(p.family.paths.size()) + 1);
    if (added)
        p.family.paths.push_back({it->second, name});
    return it->second;
}

int newVersion(Planner& p, File& file, int userId, const std::string& date) {
    Source& source = p.family.sources[std::size_t(file.SOURCEID - 1)];
    Version v;
    v.ID = int(p.family.versions.size()) + 1;
    v.PREVIOUSID = file.NUVERSIONID;
    v.SOURCEID = source.id;
    v.USERID = userId;
    v.index = int(source.versionIds.size());
    v.SID = nextSid(p, file, source);
    countLines(v, textContent(source.id, v.index));
    v.REMARKS = v.ID == 1 ? remarkText(p.random, 32000) : v.ID % 9 == 0 ? "" : remarkText(p.random, p.random.between(5, 200));
    v.CHANGEDATE = date;
    source.versionIds.push_back(v.ID);
    p.family.versions.push_back(v);
    file.NUVERSIONID = v.ID;
    return v.ID;
}

void planRelease(Planner& p, int index) {
    p.lastRelease = index == p.plan.releases - 1;
    int releaseId = addRelease(p, index).ID;
    if (index > 0)
        inheritFiles(p, p.family.releases.back());
    int levels = p.plan.levelsPerRelease;
    int unleveled = p.lastRelease ? std::max(p.plan.unleveledPerRelease, 6) : p.plan.unleveledPerRelease;
    int changes = std::max(1, (levels * p.plan.tracksPerLevel + unleveled) * (p.plan.maxChangesPerTrack + 1) / 2);
    p.createPercent = std::clamp(100 * p.plan.filesPerRelease / changes, 5, 90);
    for (int i = 0; i < levels; ++i) {
        const Level& level = planLevel(p, index, i);
        if (index == 1 && i == 1)
            p.family.levelArchive = level.NAME;
        // Tracks committed without a level, spread between the levels'
        // commits so that some come before and some after each one.
        for (int j = i; j < unleveled; j += levels)
            planTrack(p, p.family.releases.back(), nullptr, p.lastRelease ? unleveledStates[j % 6] : "complete");
    }
    // Tracks in two levels, both inside what the family's archive requests
    // take: the last two levels of the first release, the first two of the
    // others.
    if (index == 0)
        addSecondLevel(p, releaseId, levels - 2, levels - 1);
    else
        addSecondLevel(p, releaseId, 0, 1);
    if (index == 0)
        destroySomeFiles(p);
    if (p.lastRelease)
        planDsrDefects(p, p.family.releases.back());
    p.previousDefects.clear();
    for (const Track& track : p.family.tracks)
        if (track.RELEASEID == releaseId)
            p.previousDefects.push_back(track.DEFECTID);
}

}  // namespace pelo::family
