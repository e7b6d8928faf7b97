// The plan of a family: people, components, global tables and configured
// fields here; releases with their levels, tracks and files in release.cc;
// the prerequisite shapes in shapes.cc.
#include <algorithm>
#include <set>

#include "planner.h"
#include "text.h"
#include "vc/location.h"

namespace pelo::family {

SizePlan sizePlan(FamilySize size) {
    switch (size) {
    case FamilySize::tiny:
        return {3, 4, 2, 3, 3, 8, 8, 7, 60, 17, 600, 24 * 60 * 9, 12};
    case FamilySize::demo:
        return {3, 6, 4, 5, 4, 20, 14, 12, 60, 8, 2000, 24 * 60 * 4, 16};
    case FamilySize::large:
        break;
    }
    // Large: over 100 000 changes and 10 000 histories.  Under SCCS every
    // version beyond the first costs a delta, and the delta tool starts a
    // diff for each, so the SCCS family keeps two versions per history and
    // its other changes link to the current version; planFamily lifts the
    // cap for PVCS, whose archives are written directly.
    return {8, 42, 42, 42, 14, 1450, 60, 40, 50, 1, 1200, 100, 2};
}

SizePlan scaledPlan(SizePlan plan, int scale) {
    // The releases and their levels stay, so the archive requests and the
    // level names stay valid; what grows is what each level and release
    // holds, and the people and components that own it.  Files grow with
    // the changes, so a file gets as many changes and versions as before.
    plan.tracksPerLevel *= scale;
    plan.unleveledPerRelease *= scale;
    plan.filesPerRelease *= scale;
    plan.users *= scale;
    plan.components *= scale;
    return plan;
}

void planPeople(Planner& p) {
    auto& users = p.family.users;
    auto add = [&](const std::string& login, const std::string& name, const char* super) {
        User user;
        user.ID = int(users.size());
        user.LOGIN = login;
        user.NAME = name;
        user.SUPERUSER = super;
        user.AREA = "area" + std::to_string(user.ID % 4);
        user.ADDRESS = login + "@family.example";
        user.ADDDATE = p.tick(5);
        user.LASTUPDATE = user.ADDDATE;
        user.phone = user.ID % 3 ? "+49 30 " + std::to_string(4000 + user.ID) : "";
        user.office = "B" + std::to_string(user.ID % 7);
        users.push_back(user);
    };
    add("pelo0", "PELO Version 2 Release 1", "no");
    add(p.family.options.login, "Family administrator", "yes");
    for (int n = 2; n < p.plan.users; ++n) {
        char login[16];
        std::snprintf(login, sizeof login, "user%02d", n);
        add(login, personName(n), n == 2 ? "yes" : "no");
    }
    users.back().DROPDATE = p.tick(1);  // a user who left
    for (const User& user : users)
        for (int h = 0; h < (user.ID % 2) + 1; ++h)
            p.family.hosts.push_back({user.ID, "host" + std::to_string(user.ID * 2 + h) + ".family.example",
                                      user.LOGIN, 0x0A000000 + user.ID * 2 + h});
}

void planComponents(Planner& p) {
    auto& components = p.family.components;
    for (int id = 2; id < p.plan.components + 2; ++id) {
        Component c;
        c.ID = id;
        c.NAME = id == 2 ? "root" : "comp" + std::to_string(id);
        c.USERID = id == 2 ? 1 : p.userId();
        c.DESCRIPTION = id == 2 ? "The root of the component tree" : "Component number " + std::to_string(id);
        c.ADDDATE = c.LASTUPDATE = p.tick(3);
        c.PROCESS = id % 2 ? "dsrVerify" : "verifyOnly";
        c.FEATUREDSR = c.DEFECTDSR = id % 2 ? "yes" : "no";
        c.FEATUREVERIFY = c.DEFECTVERIFY = "yes";
        components.push_back(c);
        // Three levels below the root: 3 and 4 under 2, then each under
        // the one two before it, so some components sit deep in the tree.
        if (id > 2) {
            int parent = id <= 4 ? 2 : id - 2;
            p.family.compMembers.push_back({parent, id, id % 3, 0});
        }
    }
    // A component reached twice: the second membership is a reference.
    if (p.plan.components > 4)
        p.family.compMembers.push_back({3, p.plan.components + 1, 9, 1});
}

void planGlobalTables(Planner& p) {
    Family& f = p.family;
    for (const char* action : {"defectOpen", "trackCreate", "levelCommit", "fileCheckIn", "releaseCreate"}) {
        f.authority.push_back({"superuser", action});
        f.interest.push_back({"owner", action});
    }
    f.authority.push_back({"general", "defectOpen"});
    f.interest.push_back({"originator", "defectVerify"});
    const char* severities[] = {"critical", "high", "medium", "low"};
    for (int i = 0; i < 4; ++i)
        f.config.push_back({"severity", severities[i], i == 2 ? "yes" : "no", i + 1, 0,
                            std::string("Severity ") + severities[i]});
    f.config.push_back({"envName", "linux", "yes", 0, 0, "Linux; \"any\" distribution"});
    f.config.push_back({"envName", "aix", "no", 0, 0, "AIX | all levels"});
    f.config.push_back({"levelType", "production", "yes", 0, 0, "Production level"});
    f.config.push_back({"levelType", "development", "no", 0, 0, "Development level"});
    for (const char* config : {"track", "approve", "fix", "level", "test"})
        f.cfgRelProc.push_back({"full", config});
    f.cfgRelProc.push_back({"light", "track"});
    f.cfgRelProc.push_back({"light", "fix"});
    f.cfgComProc.push_back({"dsrVerify", "dsr"});
    f.cfgComProc.push_back({"dsrVerify", "verify"});
    f.cfgComProc.push_back({"verifyOnly", "verify"});
}

void planConfigFields(Planner& p) {
    Family& f = p.family;
    f.defectFields = {{true, "PRIORITY", "priority", "Priority", "Prio", true, true, "text"},
                      {false, "CUSTOMER", "customer", "Customer", "Cust", true, false, "text"},
                      {true, "PLATFORM", "platform", "Platform", "Plat", false, false, ""}};
    f.featureFields = {{true, "PRIORITY", "priority", "Priority", "Prio", true, false, "text"},
                       {false, "PLATFORM", "platform", "Platform", "Plat", false, false, "text"}};
    f.fileFields = {{true, "CHECKSUM", "checksum", "Checksum", "Sum", true, false, "text"}};
    f.userFields = {{true, "PHONE", "phone", "Telephone", "Phone", true, false, "text"},
                    {false, "OFFICE", "office", "Office", "Office", false, false, "text"}};
}

void planDefectEnds(Planner& p) {
    // A defect is closed once every track of it is complete.
    std::set<int> active;
    for (const Track& track : p.family.tracks)
        if (track.STATE != "complete")
            active.insert(track.DEFECTID);
    for (Defect& defect : p.family.defects) {
        if (!defect.STATE.empty())
            continue;
        bool closed = !active.count(defect.ID);
        defect.STATE = closed ? "closed" : defect.ID % 2 ? "working" : "verify";
        defect.ENDDATE = closed ? defect.LASTUPDATE : "";
        defect.ANSWER = closed ? "program_defect" : "";
        p.family.history.push_back({defect.ID, defect.OWNERID, closed ? "close" : "assign", defect.LASTUPDATE});
        p.family.verifies.push_back({defect.ID, defect.ORIGINID, defect.TYPE == "defect" ? "defect" : "feature",
                                     closed ? "accept" : "notReady", defect.LASTUPDATE, defect.LASTUPDATE});
    }
}

void planCheckouts(Planner& p) {
    // Files made in the last release only: their sources are shared with
    // no release that could be archived.
    const Release& last = p.family.releases.back();
    std::set<int> olderSources;
    for (const File& file : p.family.files)
        if (file.RELEASEID != last.ID)
            olderSources.insert(file.SOURCEID);
    int taken = 0;
    for (const File& file : p.family.files) {
        if (file.RELEASEID != last.ID || olderSources.count(file.SOURCEID) || !file.DROPDATE.empty() || taken == 3)
            continue;
        const Version& version = p.family.versions[std::size_t(file.NUVERSIONID - 1)];
        std::string next = version.SID;
        next = next.substr(0, next.rfind('.') + 1) + std::to_string(std::stoi(next.substr(next.rfind('.') + 1)) + 1);
        p.family.filesOut.push_back({file.ID, file.NUVERSIONID, p.userId(), p.tick(7), next});
        ++taken;
    }
}

void planSizesOfVersions(Planner& p) {
    Family& f = p.family;
    for (const Source& source : f.sources) {
        if (!vcIsBinaryDirectory(source.fileType) && source.fileType != vcPVCSBinary)
            continue;
        BinaryHistory history = binaryHistory(source.id, int(source.versionIds.size()));
        for (std::size_t k = 0; k < source.versionIds.size(); ++k) {
            Version& version = f.versions[std::size_t(source.versionIds[k] - 1)];
            version.VERSIZE = int(history.contents[k].size());
            version.RAWLINES = version.CODELINES = version.COMMENTLINES = 0;
        }
    }
}

void planSequences(Planner& p) {
    Family& f = p.family;
    auto maxOf = [](const auto& rows, auto id) {
        int most = 0;
        for (const auto& row : rows)
            most = std::max(most, id(row));
        return most;
    };
    int defect = maxOf(f.defects, [](const Defect& d) { return d.ID; });
    int track = maxOf(f.tracks, [](const Track& t) { return t.ID; });
    f.sequences = {{"general", std::max(defect, track) + 100},
                   {"defect", defect},
                   {"source", int(f.sources.size())},
                   {"track", track},
                   {"release", int(f.releases.size())},
                   {"level", int(f.levels.size())},
                   {"file", maxOf(f.files, [](const File& x) { return x.ID; })},
                   {"path", int(f.paths.size())},
                   {"version", int(f.versions.size())},
                   {"component", maxOf(f.components, [](const Component& c) { return c.ID; })},
                   {"user", maxOf(f.users, [](const User& u) { return u.ID; })},
                   {"coreqGroup", maxOf(f.coreqs, [](const Coreq& c) { return c.GROUPID; })}};
}

Family planFamily(const FamilyOptions& options) {
    Family family;
    family.options = options;
    SizePlan plan = scaledPlan(sizePlan(options.size), options.scale);
    if (options.vcType == "pvcs")
        plan.maxVersionsPerSource = std::max(plan.maxVersionsPerSource, 14);
    Planner planner(family, plan, options.seed);
    planPeople(planner);
    planComponents(planner);
    planGlobalTables(planner);
    planConfigFields(planner);
    for (int r = 0; r < planner.plan.releases; ++r)
        planRelease(planner, r);
    planDefectEnds(planner);
    planCheckouts(planner);
    planSizesOfVersions(planner);
    family.releaseArchive = family.releases[0].NAME;
    family.levelArchiveRelease = family.releases[1].NAME;
    breakPrerequisite(planner);
    if (options.hostile)
        planHostileTexts(planner);
    planSequences(planner);
    return family;
}

}  // namespace pelo::family
