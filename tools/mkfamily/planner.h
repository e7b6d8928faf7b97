// The planner's working state, shared by its files: the family being
// planned, the generator, the clock and what each release is doing.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "model.h"
#include "random.h"
#include "text.h"

namespace pelo::family {

/// How big a family is.
struct SizePlan {
    int releases, levelsPerRelease, tracksPerLevel, unleveledPerRelease;
    int maxChangesPerTrack, filesPerRelease, users, components, sharePercent;
    int binaryPercent, noteLength, minutesPerTrack;
    int maxVersionsPerSource;  ///< a busier file gets "link" changes instead of new versions
};

SizePlan sizePlan(FamilySize size);

/// The plan with its per-release and per-level counts, its users and its
/// components multiplied by scale (1 leaves it as it is).
SizePlan scaledPlan(SizePlan plan, int scale);

/// A Files row's version line: where its next version goes.
struct FileLine {
    std::string branch;  ///< PVCS branch prefix ("1.3.1"), empty on the trunk
    int branchNext = 0;  ///< next revision number on that branch
};

/// Per source: the newest trunk revision, for the next trunk SID.
struct SourceTrunk { int major = 1, minor = 0; bool any = false; };

struct Planner {
    Family& family;
    SizePlan plan;
    Random random;
    long now = 0;  ///< minutes since the family's first day
    std::map<int, FileLine> lines;          ///< by file id
    std::map<int, SourceTrunk> trunks;      ///< by source id
    std::vector<int> releaseFiles;          ///< live files of the release being planned
    std::vector<int> previousDefects;       ///< defects of the release before
    std::map<int, std::vector<int>> defectReleases;  ///< defect id -> releases with its tracks
    bool majorTwoDone = false;
    bool lastRelease = false;
    int createPercent = 30;                 ///< chance that a change makes a new file
    std::map<std::string, int> pathIds;     ///< by path name
    std::set<std::string> branchesUsed;     ///< "source:revision" already branched from

    Planner(Family& f, const SizePlan& p, std::uint64_t seed) : family(f), plan(p), random(seed) {}

    std::string tick(int minutes) { now += minutes; return familyDate(now); }
    bool pvcs() const { return family.options.vcType == "pvcs"; }
    int userId() { return random.between(2, int(family.users.size()) - 1); }
    const std::string& login(int id) const { return family.users[std::size_t(id)].LOGIN; }
};

// Steps of the plan, in the order planFamily runs them.
void planPeople(Planner& planner);
void planComponents(Planner& planner);
void planGlobalTables(Planner& planner);
void planConfigFields(Planner& planner);
void planRelease(Planner& planner, int index);
void planDefectEnds(Planner& planner);
void planCheckouts(Planner& planner);
void planSizesOfVersions(Planner& planner);
void planSequences(Planner& planner);
void breakPrerequisite(Planner& planner);
void planHostileTexts(Planner& planner);

// Used across the release planner's files.
int newVersion(Planner& planner, File& file, int userId, const std::string& date);
int newPath(Planner& planner, const std::string& name);
void planTrackRows(Planner& planner, Track& track, bool last);

}  // namespace pelo::family
