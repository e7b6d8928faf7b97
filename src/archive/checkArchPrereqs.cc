#include "archive/checkArchPrereqs.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "archive/context.h"
#include "archive/peloarchive.h"
#include "db/accessor.h"
#include "db/dbgDefect.h"
#include "db/dbgFile.h"
#include "db/dbgFilesout.h"
#include "db/dbgFilesoutview.h"
#include "db/dbgFileview.h"
#include "db/dbgLevel.h"
#include "db/dbgLevelmember.h"
#include "db/dbgLevelmemberview.h"
#include "db/dbgRelease.h"
#include "db/dbgSize.h"
#include "db/dbgTrack.h"
#include "db/dbgUser.h"
#include "db/records.h"
#include "support/msg.h"

namespace pelo {

namespace {

// One walk of a cursor accessor, from its open to its close.  The close is
// in the destructor, so a rule that refuses in the middle of a walk leaves
// no cursor open behind it.  The record is zeroed before the first fetch.
template <class Record, class... Keys>
class Walk {
public:
    using Accessor = int (*)(int, Record&, Keys...);

    explicit Walk(Accessor accessor, std::type_identity_t<Keys>... keys)
        : accessor_(accessor), keys_(keys...) {
        call(cursorOpen);
    }
    ~Walk() { call(cursorClose); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    /// Fetches the next row into record; false at the end of the rows.
    bool next() { return call(cursorFetch) == 0; }

    Record record{};

private:
    int call(int mode) {
        return std::apply([&](Keys... keys) { return accessor_(mode, record, keys...); }, keys_);
    }

    Accessor accessor_;
    std::tuple<Keys...> keys_;
};

template <class Record, class... Keys>
Walk(int (*)(int, Record&, Keys...), std::type_identity_t<Keys>...) -> Walk<Record, Keys...>;

bool isComplete(const char* state) { return std::string_view(state) == "complete"; }

// A dot marks a unit of work done, which is also where a termination
// signal that arrived meanwhile is honoured.
void dot() {
    msgProgress(1331);
    sigCheck();
}

// Ends the progress line and prints the failing rule's message; the
// check's result.
template <class... Texts>
int refuse(int message, Texts... texts) {
    msgPrint(1333);
    msgPrint(message, texts...);
    return 1;
}

// A release or level name is the name of a directory or file below maps/
// in the family home and in the archive, and removal deletes by it: it
// must name one entry of its directory, never its parent or the directory
// itself.  Any other byte, a new-line included, is the name's own.
bool namesOneEntry(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

int refuseName(std::string_view name) {
    if (namesOneEntry(name))
        return 0;
    return refuse(1701, std::string(name).c_str());
}

// Every level that goes to levelIdList has its map found by its name.
int takeLevel(const LevelRecord& level) {
    if (refuseName(level.NAME))
        return 1;
    archCtx.levelIdList.listAppendUnique(level.ID);
    return 0;
}

// The release's name as the family holds it names its maps directory.
int takeRelease(const ReleaseRecord& release) {
    if (refuseName(release.NAME))
        return 1;
    archCtx.releaseIdList.listAppendUnique(release.ID);
    return 0;
}

int refuseFilesOut(const std::string& relName) {
    if (dbgFilesoutviewExistsForRelease(relName))
        return refuse(1321, relName.c_str());
    return 0;
}

// Under PVCS the releases that share a source share one history, and a
// file checked out in any of them holds a lock in it: the release being
// archived must not have a file of the source of any checked-out file.
int refuseSharedFileOut(const std::string& relName, std::int32_t releaseId) {
    Walk out(dbgFilesoutGetAll);
    while (out.next()) {
        sigCheck();
        FileViewRecord file{};
        if (dbgFileviewGetById(file, out.record.FILEID) != 0)
            continue;  // the checked-out row names no file: nothing is shared
        if (dbgFileExistsBySourceIdReleaseId(file.SOURCEID, releaseId))
            return refuse(1526, file.PATHNAME, file.RELEASENAME, relName.c_str());
    }
    return 0;
}

// ---- level archive ------------------------------------------------------

// The release and its level must exist, and the level must be complete.
int findArchiveLevel(const std::string& relName, ReleaseRecord& release, LevelRecord& level) {
    const std::string& levelName = archCtx.levelName;
    if (refuseName(relName) || refuseName(levelName))
        return 1;
    if (!dbgReleaseExists(relName))
        return refuse(1319, relName.c_str());
    dbgReleaseGetByName(release, relName);
    if (!dbgLevelExists(levelName, release.ID))
        return refuse(1318, levelName.c_str(), relName.c_str());
    dbgLevelGet(level, levelName, release.ID);
    if (!isComplete(level.STATE))
        return refuse(1320, levelName.c_str());
    return 0;
}

// The levels committed before the archive level go with it, so each must
// be complete too.
int collectArchivedLevels(const std::string& relName, std::int32_t releaseId,
                          const LevelRecord& level) {
    dot();
    Walk earlier(dbgLevelGetByRelAndDate, releaseId, std::string_view(level.COMMITDATE));
    while (earlier.next()) {
        const LevelRecord& e = earlier.record;
        if (!isComplete(e.STATE))
            return refuse(1323, e.NAME, relName.c_str(), e.STATE);
        if (takeLevel(e))
            return 1;
    }
    return takeLevel(level);
}

// The tracks the archived levels took go with them.
int collectLevelTracks(const std::string& relName, std::int32_t releaseId) {
    dot();
    IdList& levels = archCtx.levelIdList;
    for (levels.listRewind(); !levels.listEnd();) {
        LevelRecord level{};
        dbgLevelGetById(level, levels.listGet());
        Walk tracks(dbgTrackGetByLevel, releaseId, std::string_view(level.NAME));
        while (tracks.next()) {
            dot();
            const TrackRecord& t = tracks.record;
            if (!isComplete(t.STATE))
                return refuse(1324, t.ACTUAL, relName.c_str(), t.STATE);
            archCtx.trackIdList.listAppendUnique(t.ID);
        }
    }
    return 0;
}

// A track that goes with the archive must not also be held by a level that
// stays: that level would lose part of its contents.
// The tracks' memberships are counted a thousand tracks at a time.
int refuseTracksOfOtherLevels() {
    constexpr std::size_t window = 1000;
    const std::vector<std::int32_t> tracks(archCtx.trackIdList.begin(), archCtx.trackIdList.end());
    for (std::size_t first = 0; first < tracks.size(); first += window) {
        const std::span<const std::int32_t> ids =
            std::span(tracks).subspan(first, std::min(window, tracks.size() - first));
        std::unordered_map<std::int32_t, std::int32_t> counts;
        for (const std::int32_t trackId : ids) {
            // The window's first dot comes before its counts, where the
            // first track's own count came.
            dot();
            if (trackId == ids.front())
                counts = dbgLevelmemberCountsForTracks(ids);
            if (const auto count = counts.find(trackId); count == counts.end() || count->second <= 1)
                continue;
            Walk members(dbgLevelmemberviewListForTrack, trackId);
            while (members.next())
                if (!archCtx.levelIdList.listContains(members.record.LEVELID))
                    return refuse(1375, members.record.DEFECTNAME);
        }
    }
    return 0;
}

// The commit date of the level committed next after the archive level, or
// "" when no level follows it in commit order.
std::string commitDateAfter(std::int32_t releaseId, std::int32_t levelId) {
    Walk committed(dbgLevelCommittedGetByRel, releaseId);
    bool passed = false;
    while (committed.next()) {
        if (passed)
            return committed.record.COMMITDATE;
        passed = committed.record.ID == levelId;
    }
    return {};
}

// Tracks committed without a level that a later level could still have
// taken are held: each must be complete, and the object selection decides
// which of them go with the archive after all.
template <class TrackWalk>
int holdTracks(TrackWalk& walk, const std::string& relName) {
    while (walk.next()) {
        dot();
        const TrackRecord& t = walk.record;
        if (!isComplete(t.STATE))
            return refuse(1389, relName.c_str(), t.STATE);
        archCtx.trackIdHoldList.listAppendUnique(t.ID);
    }
    return 0;
}

// Tracks committed without a level before the next level's commit belong
// to the archived levels' time and go with them.
int collectUnleveledBefore(const std::string& relName, std::int32_t releaseId,
                           std::string_view nextCommit) {
    Walk before(dbgTrackGetByReleaseCommittedNoLevel, releaseId, nextCommit);
    while (before.next()) {
        sigCheck();
        const TrackRecord& t = before.record;
        if (!isComplete(t.STATE))
            return refuse(1385, relName.c_str(), t.STATE);
        archCtx.trackIdList.listAppendUnique(t.ID);
    }
    return 0;
}

// Tracks committed without a level, split at the commit of the level that
// follows the archive level.  When no level follows (the archive level is
// the last committed one, or a level committed at the same instant sorts
// before it), every such track is held.  A track updated exactly at that
// commit falls in neither group.
int collectUnleveledTracks(const std::string& relName, std::int32_t releaseId,
                           const LevelRecord& level) {
    dot();
    std::string nextCommit;
    if (dbgLevelCommittedCountByRel(releaseId) > archCtx.levelIdList.listSize())
        nextCommit = commitDateAfter(releaseId, level.ID);
    if (nextCommit.empty()) {
        Walk all(dbgTrackGetByReleaseActualIsNull, releaseId);
        return holdTracks(all, relName);
    }
    if (collectUnleveledBefore(relName, releaseId, nextCommit))
        return 1;
    dot();
    Walk after(dbgTrackGetByReleaseCommittedNoLevelHold, releaseId, std::string_view(nextCommit));
    return holdTracks(after, relName);
}

// ---- release archive ----------------------------------------------------

int collectReleaseLevels(const std::string& relName, std::int32_t releaseId) {
    dot();
    Walk levels(dbgLevelGetByRel, releaseId);
    while (levels.next()) {
        sigCheck();
        const LevelRecord& l = levels.record;
        if (!isComplete(l.STATE))
            return refuse(1323, l.NAME, relName.c_str(), l.STATE);
        if (takeLevel(l))
            return 1;
    }
    return 0;
}

// A defect or feature still being designed, sized or reviewed must not
// have a sizing record of the release that is already decided.
int refuseDecidedSizings(const std::string& relName, std::int32_t releaseId) {
    Walk open(dbgDefectGetListDSR, 0);
    while (open.next()) {
        sigCheck();
        if (dbgSizeExistsAcceptRejectForDefect(releaseId, open.record.ID))
            return refuse(1326, relName.c_str());
    }
    return 0;
}

void collectReleaseTracks(std::int32_t releaseId) {
    Walk tracks(dbgTrackGetByRelease, releaseId);
    while (tracks.next()) {
        sigCheck();
        archCtx.trackIdList.listAppendUnique(tracks.record.ID);
    }
}

int checkOneRelease(const std::string& relName) {
    const char* name = relName.c_str();
    if (refuseName(relName))
        return 1;
    if (!dbgReleaseExists(relName))
        return refuse(1319, name);
    ReleaseRecord release{};
    dbgReleaseGetByName(release, relName);
    if (collectReleaseLevels(relName, release.ID))
        return 1;
    dot();
    if (refuseFilesOut(relName) || (vcIsPVCS() && refuseSharedFileOut(relName, release.ID)))
        return 1;
    if (dbgTrackExistsActiveForRelease(release.ID))
        return refuse(1322, name);
    dot();
    if (dbgSizeExistsForReleaseInStates(release.ID))
        return refuse(1325, name);
    if (refuseDecidedSizings(relName, release.ID))
        return 1;
    dot();
    collectReleaseTracks(release.ID);
    return takeRelease(release);
}

void emptyStartingLists() {
    ArchiveContext& c = archCtx;
    for (IdList* list : {&c.releaseIdList, &c.levelIdList, &c.trackIdList, &c.trackIdHoldList})
        list->listFreeItems();
}

}  // namespace

int checkLevelArchivePrereqs() {
    List<std::string>& names = archCtx.relNameList;
    names.listRewind();
    const std::string relName = names.listEnd() ? std::string() : names.listGet();
    ReleaseRecord release{};
    LevelRecord level{};
    if (findArchiveLevel(relName, release, level))
        return 1;
    if (vcIsPVCS()) {
        dot();
        if (refuseFilesOut(relName) || refuseSharedFileOut(relName, release.ID))
            return 1;
    }
    if (collectArchivedLevels(relName, release.ID, level) ||
        collectLevelTracks(relName, release.ID) || refuseTracksOfOtherLevels() ||
        collectUnleveledTracks(relName, release.ID, level))
        return 1;
    dot();
    return takeRelease(release);
}

int checkReleaseArchivePrereqs() {
    List<std::string>& names = archCtx.relNameList;
    for (names.listRewind(); !names.listEnd();)
        if (checkOneRelease(names.listGet()))
            return 1;
    return 0;
}

int checkArchivePrereqs() {
    ArchiveContext& c = archCtx;
    emptyStartingLists();
    msgPrint(1329);
    int result;
    UserRecord user{};
    if (dbgUserGetById(user, 0) != 0)
        result = refuse(1317, c.familyName.c_str(), programName);
    else if (c.levelName.empty())
        result = checkReleaseArchivePrereqs();
    else
        result = checkLevelArchivePrereqs();
    if (result == 0)
        msgPrint(1333);
    else
        emptyStartingLists();
    c.relNameList.listFreeItems();
    return result;
}

}  // namespace pelo
