// The family as the builder plans it, before anything is written: one
// vector of rows per table (fields in the table's column order, so the
// database writer binds them in that order), plus what the home and the
// histories need (sources with their versions, level maps, configured
// fields).  Everything here follows from the options alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "vc/binmerge.h"

namespace pelo::family {

struct User {
    int ID = 0;
    std::string LOGIN, NAME, SUPERUSER, AREA, ADDRESS, ADDDATE, DROPDATE, LASTUPDATE;
    std::string phone, office;  // configured columns
};
struct Host { int USERID = 0; std::string NAME, LOGIN; int ADDRESS = 0; };
struct Component {
    int ID = 0;
    std::string NAME;
    int USERID = 0;
    std::string DESCRIPTION, ADDDATE, DROPDATE, LASTUPDATE, PROCESS, FEATUREDSR, FEATUREVERIFY,
        DEFECTDSR, DEFECTVERIFY;
};
struct CompMember { int PARENTID = 0, CHILDID = 0, RANK = 0, REFERENCE = 0; };
struct Release {
    int ID = 0;
    std::string NAME;
    int COMPID = 0;
    std::string BINDING, DESCRIPTION;
    int USERID = 0;
    std::string ADDDATE, DROPDATE, LASTUPDATE;
    int RELSIZE = 0;
    std::string PROCESS, TRACK, APPROVE, FIX, LVL, TEST;
};
struct Environment { std::string NAME; int RELEASEID = 0, USERID = 0; };
struct Approver { int RELEASEID = 0, USERID = 0; };
struct Level {
    int ID = 0;
    std::string NAME;
    int RELEASEID = 0, USERID = 0;
    std::string ADDDATE, COMMITDATE, LASTUPDATE, STATE, TYPE;
    int LEVELSIZE = 0;
};
struct LevelMember { int LEVELID = 0, TRACKID = 0; };
struct Track {
    int ID = 0, RELEASEID = 0, DEFECTID = 0, USERID = 0;
    std::string STATE, TARGET, ACTUAL, ADDDATE, LASTUPDATE;
};
struct Change {
    int PATHID = 0, TRACKID = 0, FILEID = 0, VERSIONID = 0, LEVELID = 0;
    std::string TYPE;
    int USERID = 0;
};
struct Approval { int TRACKID = 0, USERID = 0; std::string STATE, ADDDATE, LASTUPDATE; };
struct Fix { int TRACKID = 0, USERID = 0, COMPID = 0; std::string STATE, ADDDATE, LASTUPDATE; };
struct Test { int TRACKID = 0; std::string ENVNAME; int USERID = 0; std::string STATE, ADDDATE, LASTUPDATE; };
struct Coreq { int TRACKID = 0, GROUPID = 0; };
struct Defect {
    int ID = 0;
    std::string TYPE, PREFIX, NAME;
    int COMPID = 0;
    std::string ENVNAME, STATE, SEVERITY, ABSTRACT, REFERENCE, ANSWER, LEVELNAME, LASTUPDATE,
        ADDDATE, ASSIGNDATE, RESPONSEDATE, ENDDATE;
    int ORIGINID = 0, OWNERID = 0, AGE = 0;
    std::string DUPLICATE;
    int RELEASEID = 0;
    std::string priority, customer, platform;  // configured columns
};
struct History { int DEFECTID = 0, USERID = 0; std::string ACTION, ADDDATE; };
struct Note { int DEFECTID = 0, USERID = 0; std::string ACTION, ADDDATE, REMARKS; };
struct Verify { int DEFECTID = 0, USERID = 0; std::string TYPE, STATE, ADDDATE, LASTUPDATE; };
struct Size {
    int DEFECTID = 0, COMPID = 0, USERID = 0;
    std::string ADDDATE, LASTUPDATE, STATE, SIZING;
    int RELEASEID = 0;
};
struct File {
    int ID = 0, COMPID = 0, SOURCEID = 0, PATHID = 0, NUPATHID = 0, VERSIONID = 0, NUVERSIONID = 0;
    std::string ADDDATE, NUADDDATE, DROPDATE, NUDROPDATE, LASTUPDATE, BASENAME, TYPE;
    int RELEASEID = 0;
    std::string USERLOGIN, FMODE;
    std::string checksum;  // configured column
    bool destroyed = false;  // planned, but its row is deleted before writing
};
struct Path { int ID = 0; std::string NAME; };
struct Version {
    int ID = 0, PREVIOUSID = 0, SOURCEID = 0, USERID = 0, RAWLINES = 0, CODELINES = 0,
        COMMENTLINES = 0;
    std::string REMARKS, CHANGEDATE, SID;
    int VERSIZE = 0;
    int index = 0;  // place among its source's versions, in the order they were made
};
struct Sequence { std::string NAME; int LASTSERIAL = 0; };
struct NameAction { std::string NAME, ACTION; };
struct Config {
    std::string TYPE, NAME, DFLT;
    int VALUE1 = 0, VALUE2 = 0;
    std::string DESCRIPTION;
};
struct NameConfig { std::string NAME, CONFIG; };
struct FileOut { int FILEID = 0, VERSIONID = 0, USERID = 0; std::string CHECKOUTDATE, NEWSID; };

/// One version-control history: the versions of one source id, in the
/// order they were made (a version's content is a function of the source
/// id and that order).
struct Source {
    int id = 0;
    int fileType = 0;              ///< the number the archive derives from Files.TYPE
    std::vector<int> versionIds;   ///< in the order made
    bool destroyed = false;        ///< every Files row of it is deleted
};

/// A configurable field as its table file lists it.
struct ConfigField {
    bool enabled = true;
    std::string column, attribute, label, title;
    bool create = false, required = false;
    std::string type;
};

struct Family {
    FamilyOptions options;
    std::vector<User> users;
    std::vector<Host> hosts;
    std::vector<Component> components;
    std::vector<CompMember> compMembers;
    std::vector<Release> releases;
    std::vector<Environment> environments;
    std::vector<Approver> approvers;
    std::vector<Level> levels;
    std::vector<LevelMember> levelMembers;
    std::vector<Track> tracks;
    std::vector<Change> changes;
    std::vector<Approval> approvals;
    std::vector<Fix> fixes;
    std::vector<Test> tests;
    std::vector<Coreq> coreqs;
    std::vector<Defect> defects;
    std::vector<History> history;
    std::vector<Note> notes;
    std::vector<Verify> verifies;
    std::vector<Size> sizes;
    std::vector<File> files;
    std::vector<Path> paths;
    std::vector<Version> versions;  ///< versions[i].ID == i + 1
    std::vector<Sequence> sequences;
    std::vector<NameAction> authority, interest;
    std::vector<Config> config;
    std::vector<NameConfig> cfgRelProc, cfgComProc;
    std::vector<FileOut> filesOut;
    std::vector<Source> sources;  ///< sources[i].id == i + 1
    std::vector<ConfigField> defectFields, featureFields, fileFields, userFields;

    /// The requests the family is shaped for: a release archive of
    /// releaseArchive passes every check, and so does a level archive of
    /// levelArchive in levelArchiveRelease, unless a shape breaks a rule.
    std::string releaseArchive, levelArchiveRelease, levelArchive;
};

/// Plans the whole family from the options: seed, size, version-control
/// kind and the prerequisite rule to break.
Family planFamily(const FamilyOptions& options);

/// The content of version `index` (0 for the first) of a text source.  The
/// first version is the same for every source: the family's template.
std::string textContent(int sourceId, int index);

/// Every version of a binary source, in order, and for each version
/// after the first the reverse difference that turns it into the one
/// before it (reverse[0] is empty).
struct BinaryHistory {
    std::vector<std::string> contents;
    std::vector<std::vector<DiffRecord>> reverse;
};

/// The binary history of a source with that many versions.
BinaryHistory binaryHistory(int sourceId, int versionCount);

}  // namespace pelo::family
