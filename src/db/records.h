// The family's rows as the archive holds them: one plain structure per table
// and per view it reads, one field per column in the column order of the
// family schema (sql/sqlite/family.sql).  The populate script inserts rows
// without a column list, so that order is part of its format.
//
// An int column is an int32_t.  A text column of width N is a char[N + 1]:
// a value of exactly N characters is kept whole and terminated.  Dates are
// texts of width 26 as the family server wrote them ("%02d/%02d/%02d
// %02d:%02d:%02d", years since 1900) and flags texts of width 4 ("yes").
// A NULL column arrives as "" or 0.
//
// The accessors (dbg*.h) fill these records; nothing else writes them.
#pragma once

#include <cstdint>

namespace pelo {

/// Releases.
struct ReleaseRecord {
    std::int32_t ID;
    char NAME[32 + 1];
    std::int32_t COMPID;
    char BINDING[4 + 1];
    char DESCRIPTION[128 + 1];
    std::int32_t USERID;
    char ADDDATE[26 + 1];
    char DROPDATE[26 + 1];
    char LASTUPDATE[26 + 1];
    std::int32_t RELSIZE;
    char PROCESS[32 + 1];
    char TRACK[4 + 1];
    char APPROVE[4 + 1];
    char FIX[4 + 1];
    char LVL[4 + 1];
    char TEST[4 + 1];
};

/// Environments.
struct EnvironmentRecord {
    char NAME[32 + 1];
    std::int32_t RELEASEID;
    std::int32_t USERID;
};

/// Approvers.
struct ApproverRecord {
    std::int32_t RELEASEID;
    std::int32_t USERID;
};

/// Levels.
struct LevelRecord {
    std::int32_t ID;
    char NAME[32 + 1];
    std::int32_t RELEASEID;
    std::int32_t USERID;
    char ADDDATE[26 + 1];
    char COMMITDATE[26 + 1];
    char LASTUPDATE[26 + 1];
    char STATE[16 + 1];
    char TYPE[32 + 1];
    std::int32_t LEVELSIZE;
};

/// LevelMembers.
struct LevelMemberRecord {
    std::int32_t LEVELID;
    std::int32_t TRACKID;
};

/// Tracks.
struct TrackRecord {
    std::int32_t ID;
    std::int32_t RELEASEID;
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char STATE[16 + 1];
    char TARGET[32 + 1];
    char ACTUAL[32 + 1];
    char ADDDATE[26 + 1];
    char LASTUPDATE[26 + 1];
};

/// Changes.
struct ChangeRecord {
    std::int32_t PATHID;
    std::int32_t TRACKID;
    std::int32_t FILEID;
    std::int32_t VERSIONID;
    std::int32_t LEVELID;
    char TYPE[10 + 1];
    std::int32_t USERID;
};

/// Approvals.
struct ApprovalRecord {
    std::int32_t TRACKID;
    std::int32_t USERID;
    char STATE[16 + 1];
    char ADDDATE[26 + 1];
    char LASTUPDATE[26 + 1];
};

/// Fix.
struct FixRecord {
    std::int32_t TRACKID;
    std::int32_t USERID;
    std::int32_t COMPID;
    char STATE[16 + 1];
    char ADDDATE[26 + 1];
    char LASTUPDATE[26 + 1];
};

/// Tests.
struct TestRecord {
    std::int32_t TRACKID;
    char ENVNAME[32 + 1];
    std::int32_t USERID;
    char STATE[16 + 1];
    char ADDDATE[26 + 1];
    char LASTUPDATE[26 + 1];
};

/// Coreqs.
struct CoreqRecord {
    std::int32_t TRACKID;
    std::int32_t GROUPID;
};

/// Defects: defects and features alike, told apart by TYPE.
struct DefectRecord {
    std::int32_t ID;
    char TYPE[8 + 1];
    char PREFIX[32 + 1];
    char NAME[32 + 1];
    std::int32_t COMPID;
    char ENVNAME[32 + 1];
    char STATE[16 + 1];
    char SEVERITY[32 + 1];
    char ABSTRACT[128 + 1];
    char REFERENCE[32 + 1];
    char ANSWER[32 + 1];
    char LEVELNAME[32 + 1];
    char LASTUPDATE[26 + 1];
    char ADDDATE[26 + 1];
    char ASSIGNDATE[26 + 1];
    char RESPONSEDATE[26 + 1];
    char ENDDATE[26 + 1];
    std::int32_t ORIGINID;
    std::int32_t OWNERID;
    std::int32_t AGE;
    char DUPLICATE[32 + 1];
    std::int32_t RELEASEID;
};

/// History.
struct HistoryRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char ACTION[16 + 1];
    char ADDDATE[26 + 1];
};

/// Notes.
struct NoteRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char ACTION[16 + 1];
    char ADDDATE[26 + 1];
    char REMARKS[32000 + 1];
};

/// Verify.
struct VerifyRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char TYPE[16 + 1];
    char STATE[16 + 1];
    char ADDDATE[26 + 1];
    char LASTUPDATE[26 + 1];
};

/// Sizes.
struct SizeRecord {
    std::int32_t DEFECTID;
    std::int32_t COMPID;
    std::int32_t USERID;
    char ADDDATE[26 + 1];
    char LASTUPDATE[26 + 1];
    char STATE[8 + 1];
    char SIZING[128 + 1];
    std::int32_t RELEASEID;
};

/// Files.  The NU* columns are the second values beside PATHID, VERSIONID,
/// ADDDATE and DROPDATE.
struct FileRecord {
    std::int32_t ID;
    std::int32_t COMPID;
    std::int32_t SOURCEID;
    std::int32_t PATHID;
    std::int32_t NUPATHID;
    std::int32_t VERSIONID;
    std::int32_t NUVERSIONID;
    char ADDDATE[26 + 1];
    char NUADDDATE[26 + 1];
    char DROPDATE[26 + 1];
    char NUDROPDATE[26 + 1];
    char LASTUPDATE[26 + 1];
    char BASENAME[128 + 1];
    char TYPE[8 + 1];
    std::int32_t RELEASEID;
    char USERLOGIN[32 + 1];
    char FMODE[6 + 1];
};

/// Path.
struct PathRecord {
    std::int32_t ID;
    char NAME[196 + 1];
};

/// Versions.
struct VersionRecord {
    std::int32_t ID;
    std::int32_t PREVIOUSID;
    std::int32_t SOURCEID;
    std::int32_t USERID;
    std::int32_t RAWLINES;
    std::int32_t CODELINES;
    std::int32_t COMMENTLINES;
    char REMARKS[32000 + 1];
    char CHANGEDATE[26 + 1];
    char SID[48 + 1];
    std::int32_t VERSIZE;
};

/// Components.
struct ComponentRecord {
    std::int32_t ID;
    char NAME[64 + 1];
    std::int32_t USERID;
    char DESCRIPTION[128 + 1];
    char ADDDATE[26 + 1];
    char DROPDATE[26 + 1];
    char LASTUPDATE[26 + 1];
    char PROCESS[32 + 1];
    char FEATUREDSR[4 + 1];
    char FEATUREVERIFY[4 + 1];
    char DEFECTDSR[4 + 1];
    char DEFECTVERIFY[4 + 1];
};

/// CompMembers.
struct CompMemberRecord {
    std::int32_t PARENTID;
    std::int32_t CHILDID;
    std::int32_t RANK;
    std::int32_t REFERENCE;
};

/// Users.
struct UserRecord {
    std::int32_t ID;
    char LOGIN[32 + 1];
    char NAME[64 + 1];
    char SUPERUSER[4 + 1];
    char AREA[32 + 1];
    char ADDRESS[160 + 1];
    char ADDDATE[26 + 1];
    char DROPDATE[26 + 1];
    char LASTUPDATE[26 + 1];
};

/// Hosts.
struct HostRecord {
    std::int32_t USERID;
    char NAME[128 + 1];
    char LOGIN[32 + 1];
    std::int32_t ADDRESS;
};

/// Sequence: one row per serial counter.
struct SequenceRecord {
    char NAME[16 + 1];
    std::int32_t LASTSERIAL;
};

/// Authority.
struct AuthorityRecord {
    char NAME[32 + 1];
    char ACTION[16 + 1];
};

/// Interest.
struct InterestRecord {
    char NAME[32 + 1];
    char ACTION[16 + 1];
};

/// Config.
struct ConfigRecord {
    char TYPE[16 + 1];
    char NAME[32 + 1];
    char DFLT[4 + 1];
    std::int32_t VALUE1;
    std::int32_t VALUE2;
    char DESCRIPTION[128 + 1];
};

/// Cfgrelproc.
struct CfgRelProcRecord {
    char NAME[32 + 1];
    char CONFIG[16 + 1];
};

/// Cfgcomproc.
struct CfgComProcRecord {
    char NAME[32 + 1];
    char CONFIG[16 + 1];
};

/// FILESOUT: the files checked out.
struct FilesoutRecord {
    std::int32_t FILEID;
    std::int32_t VERSIONID;
    std::int32_t USERID;
    char CHECKOUTDATE[26 + 1];
    char NEWSID[48 + 1];
};

/// FILEVIEW: a Files row with its component, versions, paths and release
/// resolved to names.
struct FileViewRecord {
    std::int32_t ID;
    std::int32_t COMPID;
    std::int32_t SOURCEID;
    std::int32_t PATHID;
    std::int32_t NUPATHID;
    std::int32_t VERSIONID;
    std::int32_t NUVERSIONID;
    char ADDDATE[26 + 1];
    char NUADDDATE[26 + 1];
    char DROPDATE[26 + 1];
    char NUDROPDATE[26 + 1];
    char LASTUPDATE[26 + 1];
    char BASENAME[128 + 1];
    char TYPE[8 + 1];
    std::int32_t RELEASEID;
    char USERLOGIN[32 + 1];
    char FMODE[6 + 1];
    char COMPNAME[64 + 1];
    char VERSIONSID[48 + 1];
    char NUVERSIONSID[48 + 1];
    char PATHNAME[196 + 1];
    char NUPATHNAME[196 + 1];
    char RELEASENAME[32 + 1];
};

/// FILESOUTVIEW: a FILESOUT row with the release of its file.
struct FilesoutViewRecord {
    std::int32_t FILEID;
    std::int32_t VERSIONID;
    std::int32_t USERID;
    char CHECKOUTDATE[26 + 1];
    char NEWSID[48 + 1];
    std::int32_t RELEASEID;
    char RELEASENAME[32 + 1];
};

/// NOTEVIEW: a Notes row with its defect and its author resolved.
struct NoteViewRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char ACTION[16 + 1];
    char REMARKS[32000 + 1];
    char ADDDATE[26 + 1];
    char DEFECTPREFIX[32 + 1];
    char DEFECTNAME[32 + 1];
    char DEFECTREFERENCE[32 + 1];
    char USERLOGIN[32 + 1];
    char USERNAME[64 + 1];
    char USERAREA[32 + 1];
};

/// LEVELMEMBERVIEW: a LevelMembers row with its level, release, track owner
/// and defect resolved.
struct LevelMemberViewRecord {
    std::int32_t LEVELID;
    std::int32_t TRACKID;
    char LEVELNAME[32 + 1];
    char RELEASENAME[32 + 1];
    char TRACKUSERLOGIN[32 + 1];
    char TRACKUSERNAME[64 + 1];
    char TRACKUSERAREA[32 + 1];
    char DEFECTPREFIX[32 + 1];
    char DEFECTNAME[32 + 1];
    char DEFECTREFERENCE[32 + 1];
    char DEFECTABSTRACT[128 + 1];
    char DEFECTTYPE[8 + 1];
};

}  // namespace pelo
