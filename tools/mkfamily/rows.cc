// The rows that hang on a track: approvals, fixes, tests, co-requisites
// and the sizing of its defect in its release.
#include <algorithm>

#include "planner.h"

namespace pelo::family {
namespace {

bool pastFix(const std::string& state) { return state != "approve" && state != "fix"; }

std::string testState(const std::string& state) {
    if (state == "complete" || state == "commit")
        return "accept";
    return state == "test" ? "ready" : "notReady";
}

void planSizing(Planner& p, const Track& track, bool last) {
    auto& releases = p.defectReleases[track.DEFECTID];
    if (std::find(releases.begin(), releases.end(), track.RELEASEID) != releases.end())
        return;
    releases.push_back(track.RELEASEID);
    const Defect& defect = p.family.defects[std::size_t(track.DEFECTID - 1)];
    const char* lastStates[] = {"ready", "notReady", "accept", "reject"};
    std::string state = last ? lastStates[p.random.below(4)] : (p.random.chance(85) ? "accept" : "reject");
    p.family.sizes.push_back({defect.ID, defect.COMPID, track.USERID, track.ADDDATE, track.LASTUPDATE,
                              state, "about " + std::to_string(p.random.between(1, 40)) + " days",
                              track.RELEASEID});
}

}  // namespace

void planTrackRows(Planner& p, Track& track, bool last) {
    Family& f = p.family;
    for (int approver : {2, 3})
        f.approvals.push_back({track.ID, approver,
                               track.STATE == "approve" ? "notReady" : approver == 2 ? "accept" : "abstain",
                               track.ADDDATE, track.LASTUPDATE});
    if (track.STATE != "approve") {
        int comp = p.random.between(3, p.plan.components + 1);
        f.fixes.push_back({track.ID, track.USERID, comp, pastFix(track.STATE) ? "complete" : "active",
                           track.ADDDATE, track.LASTUPDATE});
    }
    for (const char* env : {"linux", "aix"})
        f.tests.push_back({track.ID, env, p.userId(), testState(track.STATE), track.ADDDATE, track.LASTUPDATE});
    // Every seventh track is a co-requisite of the track before it.
    if (track.ID % 7 == 0 && f.tracks.size() > 1 && f.tracks[f.tracks.size() - 2].RELEASEID == track.RELEASEID) {
        int group = int(f.coreqs.size()) / 2 + 1;
        f.coreqs.push_back({track.ID - 1, group});
        f.coreqs.push_back({track.ID, group});
    }
    planSizing(p, track, last);
}

}  // namespace pelo::family
