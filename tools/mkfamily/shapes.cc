// The prerequisite shapes: each turns a family that allows its two
// archive requests into one that breaks exactly one rule.
#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>

#include "planner.h"

namespace pelo::family {
namespace {

Level& levelNamed(Family& f, const std::string& name) {
    for (Level& level : f.levels)
        if (level.NAME == name)
            return level;
    throw std::runtime_error("no level " + name);
}

int releaseId(const Family& f, const std::string& name) {
    for (const Release& release : f.releases)
        if (release.NAME == name)
            return release.ID;
    return 0;
}

/// The level after the archive level in its release (its commit is "N").
Level& nextLevel(Family& f) {
    const Level& archived = levelNamed(f, f.levelArchive);
    for (Level& level : f.levels)
        if (level.RELEASEID == archived.RELEASEID && level.ID == archived.ID + 1)
            return level;
    throw std::runtime_error("no level after " + archived.NAME);
}

Track& trackWhere(Family& f, const std::function<bool(const Track&)>& wanted) {
    for (Track& track : f.tracks)
        if (wanted(track))
            return track;
    throw std::runtime_error("the family has no track for the shape");
}

void checkOut(Planner& p, const File& file) {
    const Version& version = p.family.versions[std::size_t(file.NUVERSIONID - 1)];
    p.family.filesOut.push_back({file.ID, file.NUVERSIONID, 2, p.tick(1), version.SID + ".9"});
}

const File& firstFileOf(Family& f, int release) {
    for (const File& file : f.files)
        if (file.RELEASEID == release && !file.destroyed && file.DROPDATE.empty())
            return file;
    throw std::runtime_error("the release has no file");
}

/// A file of the last release whose source both archive releases share.
const File& sharedFileOfLast(Family& f) {
    int first = releaseId(f, f.releaseArchive), second = releaseId(f, f.levelArchiveRelease);
    std::map<int, int> seen;  // source id -> bit 1 first release, bit 2 second
    for (const File& file : f.files)
        seen[file.SOURCEID] |= (file.RELEASEID == first ? 1 : 0) | (file.RELEASEID == second ? 2 : 0);
    for (const File& file : f.files)
        if (file.RELEASEID == f.releases.back().ID && seen[file.SOURCEID] == 3)
            return file;
    throw std::runtime_error("no source is shared by every release");
}

void unleveledAround(Planner& p, bool before) {
    Family& f = p.family;
    int release = releaseId(f, f.levelArchiveRelease);
    // Tracks are numbered in the order they were planned, which is the
    // order of their dates: an unleveled track numbered below the next
    // level's last member was committed before that level was.
    int nextLevelLastTrack = 0;
    for (const LevelMember& member : f.levelMembers)
        if (member.LEVELID == nextLevel(f).ID)
            nextLevelLastTrack = std::max(nextLevelLastTrack, member.TRACKID);
    trackWhere(f, [&](const Track& t) {
        return t.RELEASEID == release && t.ACTUAL.empty() &&
               (before ? t.ID < nextLevelLastTrack : t.ID > nextLevelLastTrack);
    }).STATE = "test";
}

}  // namespace

void breakPrerequisite(Planner& p) {
    Family& f = p.family;
    const std::string& rule = f.options.breakRule;
    int first = releaseId(f, f.releaseArchive), second = releaseId(f, f.levelArchiveRelease);
    Level& archived = levelNamed(f, f.levelArchive);
    if (rule == "no-user0") {
        f.users.erase(f.users.begin());
    } else if (rule == "level-not-complete") {
        archived.STATE = "commit";
    } else if (rule == "checked-out") {
        checkOut(p, firstFileOf(f, first));
        checkOut(p, firstFileOf(f, second));
    } else if (rule == "shared-checked-out") {
        checkOut(p, sharedFileOfLast(f));
    } else if (rule == "earlier-level-not-complete") {
        for (Level& level : f.levels)
            if (level.RELEASEID == second && level.ID == archived.ID - 1)
                level.STATE = "commit";
    } else if (rule == "track-not-complete") {
        trackWhere(f, [&](const Track& t) { return t.ACTUAL == archived.NAME; }).STATE = "commit";
    } else if (rule == "track-in-later-level") {
        int track = trackWhere(f, [&](const Track& t) { return t.ACTUAL == archived.NAME; }).ID;
        f.levelMembers.push_back({nextLevel(f).ID, track});
    } else if (rule == "unleveled-track-not-complete" || rule == "held-track-not-complete") {
        unleveledAround(p, rule == "unleveled-track-not-complete");
    } else if (rule == "release-level-not-complete") {
        levelNamed(f, "r1lvl02").STATE = "commit";
    } else if (rule == "release-track-active") {
        trackWhere(f, [&](const Track& t) { return t.RELEASEID == first; }).STATE = "test";
    } else if (rule == "sizes-ready" || rule == "dsr-defect-sized") {
        // Every sizing record of the release archive is accepted or
        // rejected, which is what the second rule looks for.
        for (Size& size : f.sizes)
            if (size.RELEASEID == first) {
                if (rule == "sizes-ready")
                    size.STATE = "ready";
                else
                    f.defects[std::size_t(size.DEFECTID - 1)].STATE = "design";
                break;
            }
    }
}

}  // namespace pelo::family
