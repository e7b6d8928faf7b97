// The family's rows as the archive holds them: one plain structure per table
// and per view it reads, one field per column in the column order of the
// family schema (sql/sqlite/family.sql).  The populate script inserts rows
// without a column list, so that order is part of its format.
//
// An int column is an int32_t.  A text column of width N holds N
// characters, as the servers count a VARCHAR(N), whatever their bytes: its
// field is a char[textField(N)], room for N characters of UTF-8 (up to four
// bytes each) and the terminator, so a value of exactly N characters is kept
// whole and terminated.  Code that needs the column's width takes it from
// textWidth, never from the field's size.  Dates are texts of width 26 as
// the family server wrote them ("%02d/%02d/%02d %02d:%02d:%02d", years
// since 1900) and flags texts of width 4 ("yes").
// A NULL column arrives as "" or 0.
//
// The accessors (dbg*.h) fill these records; nothing else writes them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelo {

/// Bytes a UTF-8 character may take.
inline constexpr std::size_t maxCharBytes = 4;

/// The size of the field of a text column of `width` characters.
constexpr std::size_t textField(std::size_t width) { return maxCharBytes * width + 1; }

/// The width in characters of the column whose field is `fieldSize` bytes
/// (sizeof the field): the inverse of textField.
constexpr std::size_t textWidth(std::size_t fieldSize) { return (fieldSize - 1) / maxCharBytes; }

/// Releases.
struct ReleaseRecord {
    std::int32_t ID;
    char NAME[textField(32)];
    std::int32_t COMPID;
    char BINDING[textField(4)];
    char DESCRIPTION[textField(128)];
    std::int32_t USERID;
    char ADDDATE[textField(26)];
    char DROPDATE[textField(26)];
    char LASTUPDATE[textField(26)];
    std::int32_t RELSIZE;
    char PROCESS[textField(32)];
    char TRACK[textField(4)];
    char APPROVE[textField(4)];
    char FIX[textField(4)];
    char LVL[textField(4)];
    char TEST[textField(4)];
};

/// Environments.
struct EnvironmentRecord {
    char NAME[textField(32)];
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
    char NAME[textField(32)];
    std::int32_t RELEASEID;
    std::int32_t USERID;
    char ADDDATE[textField(26)];
    char COMMITDATE[textField(26)];
    char LASTUPDATE[textField(26)];
    char STATE[textField(16)];
    char TYPE[textField(32)];
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
    char STATE[textField(16)];
    char TARGET[textField(32)];
    char ACTUAL[textField(32)];
    char ADDDATE[textField(26)];
    char LASTUPDATE[textField(26)];
};

/// Changes.
struct ChangeRecord {
    std::int32_t PATHID;
    std::int32_t TRACKID;
    std::int32_t FILEID;
    std::int32_t VERSIONID;
    std::int32_t LEVELID;
    char TYPE[textField(10)];
    std::int32_t USERID;
};

/// Approvals.
struct ApprovalRecord {
    std::int32_t TRACKID;
    std::int32_t USERID;
    char STATE[textField(16)];
    char ADDDATE[textField(26)];
    char LASTUPDATE[textField(26)];
};

/// Fix.
struct FixRecord {
    std::int32_t TRACKID;
    std::int32_t USERID;
    std::int32_t COMPID;
    char STATE[textField(16)];
    char ADDDATE[textField(26)];
    char LASTUPDATE[textField(26)];
};

/// Tests.
struct TestRecord {
    std::int32_t TRACKID;
    char ENVNAME[textField(32)];
    std::int32_t USERID;
    char STATE[textField(16)];
    char ADDDATE[textField(26)];
    char LASTUPDATE[textField(26)];
};

/// Coreqs.
struct CoreqRecord {
    std::int32_t TRACKID;
    std::int32_t GROUPID;
};

/// Defects: defects and features alike, told apart by TYPE.
struct DefectRecord {
    std::int32_t ID;
    char TYPE[textField(8)];
    char PREFIX[textField(32)];
    char NAME[textField(32)];
    std::int32_t COMPID;
    char ENVNAME[textField(32)];
    char STATE[textField(16)];
    char SEVERITY[textField(32)];
    char ABSTRACT[textField(128)];
    char REFERENCE[textField(32)];
    char ANSWER[textField(32)];
    char LEVELNAME[textField(32)];
    char LASTUPDATE[textField(26)];
    char ADDDATE[textField(26)];
    char ASSIGNDATE[textField(26)];
    char RESPONSEDATE[textField(26)];
    char ENDDATE[textField(26)];
    std::int32_t ORIGINID;
    std::int32_t OWNERID;
    std::int32_t AGE;
    char DUPLICATE[textField(32)];
    std::int32_t RELEASEID;
};

/// History.
struct HistoryRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char ACTION[textField(16)];
    char ADDDATE[textField(26)];
};

/// Notes.
struct NoteRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char ACTION[textField(16)];
    char ADDDATE[textField(26)];
    char REMARKS[textField(32000)];
};

/// Verify.
struct VerifyRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char TYPE[textField(16)];
    char STATE[textField(16)];
    char ADDDATE[textField(26)];
    char LASTUPDATE[textField(26)];
};

/// Sizes.
struct SizeRecord {
    std::int32_t DEFECTID;
    std::int32_t COMPID;
    std::int32_t USERID;
    char ADDDATE[textField(26)];
    char LASTUPDATE[textField(26)];
    char STATE[textField(8)];
    char SIZING[textField(128)];
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
    char ADDDATE[textField(26)];
    char NUADDDATE[textField(26)];
    char DROPDATE[textField(26)];
    char NUDROPDATE[textField(26)];
    char LASTUPDATE[textField(26)];
    char BASENAME[textField(128)];
    char TYPE[textField(8)];
    std::int32_t RELEASEID;
    char USERLOGIN[textField(32)];
    char FMODE[textField(6)];
};

/// Path.
struct PathRecord {
    std::int32_t ID;
    char NAME[textField(196)];
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
    char REMARKS[textField(32000)];
    char CHANGEDATE[textField(26)];
    char SID[textField(48)];
    std::int32_t VERSIZE;
};

/// Components.
struct ComponentRecord {
    std::int32_t ID;
    char NAME[textField(64)];
    std::int32_t USERID;
    char DESCRIPTION[textField(128)];
    char ADDDATE[textField(26)];
    char DROPDATE[textField(26)];
    char LASTUPDATE[textField(26)];
    char PROCESS[textField(32)];
    char FEATUREDSR[textField(4)];
    char FEATUREVERIFY[textField(4)];
    char DEFECTDSR[textField(4)];
    char DEFECTVERIFY[textField(4)];
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
    char LOGIN[textField(32)];
    char NAME[textField(64)];
    char SUPERUSER[textField(4)];
    char AREA[textField(32)];
    char ADDRESS[textField(160)];
    char ADDDATE[textField(26)];
    char DROPDATE[textField(26)];
    char LASTUPDATE[textField(26)];
};

/// Hosts.
struct HostRecord {
    std::int32_t USERID;
    char NAME[textField(128)];
    char LOGIN[textField(32)];
    std::int32_t ADDRESS;
};

/// Sequence: one row per serial counter.
struct SequenceRecord {
    char NAME[textField(16)];
    std::int32_t LASTSERIAL;
};

/// Authority.
struct AuthorityRecord {
    char NAME[textField(32)];
    char ACTION[textField(16)];
};

/// Interest.
struct InterestRecord {
    char NAME[textField(32)];
    char ACTION[textField(16)];
};

/// Config.
struct ConfigRecord {
    char TYPE[textField(16)];
    char NAME[textField(32)];
    char DFLT[textField(4)];
    std::int32_t VALUE1;
    std::int32_t VALUE2;
    char DESCRIPTION[textField(128)];
};

/// Cfgrelproc.
struct CfgRelProcRecord {
    char NAME[textField(32)];
    char CONFIG[textField(16)];
};

/// Cfgcomproc.
struct CfgComProcRecord {
    char NAME[textField(32)];
    char CONFIG[textField(16)];
};

/// FILESOUT: the files checked out.
struct FilesoutRecord {
    std::int32_t FILEID;
    std::int32_t VERSIONID;
    std::int32_t USERID;
    char CHECKOUTDATE[textField(26)];
    char NEWSID[textField(48)];
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
    char ADDDATE[textField(26)];
    char NUADDDATE[textField(26)];
    char DROPDATE[textField(26)];
    char NUDROPDATE[textField(26)];
    char LASTUPDATE[textField(26)];
    char BASENAME[textField(128)];
    char TYPE[textField(8)];
    std::int32_t RELEASEID;
    char USERLOGIN[textField(32)];
    char FMODE[textField(6)];
    char COMPNAME[textField(64)];
    char VERSIONSID[textField(48)];
    char NUVERSIONSID[textField(48)];
    char PATHNAME[textField(196)];
    char NUPATHNAME[textField(196)];
    char RELEASENAME[textField(32)];
};

/// FILESOUTVIEW: a FILESOUT row with the release of its file.
struct FilesoutViewRecord {
    std::int32_t FILEID;
    std::int32_t VERSIONID;
    std::int32_t USERID;
    char CHECKOUTDATE[textField(26)];
    char NEWSID[textField(48)];
    std::int32_t RELEASEID;
    char RELEASENAME[textField(32)];
};

/// NOTEVIEW: a Notes row with its defect and its author resolved.
struct NoteViewRecord {
    std::int32_t DEFECTID;
    std::int32_t USERID;
    char ACTION[textField(16)];
    char REMARKS[textField(32000)];
    char ADDDATE[textField(26)];
    char DEFECTPREFIX[textField(32)];
    char DEFECTNAME[textField(32)];
    char DEFECTREFERENCE[textField(32)];
    char USERLOGIN[textField(32)];
    char USERNAME[textField(64)];
    char USERAREA[textField(32)];
};

/// LEVELMEMBERVIEW: a LevelMembers row with its level, release, track owner
/// and defect resolved.
struct LevelMemberViewRecord {
    std::int32_t LEVELID;
    std::int32_t TRACKID;
    char LEVELNAME[textField(32)];
    char RELEASENAME[textField(32)];
    char TRACKUSERLOGIN[textField(32)];
    char TRACKUSERNAME[textField(64)];
    char TRACKUSERAREA[textField(32)];
    char DEFECTPREFIX[textField(32)];
    char DEFECTNAME[textField(32)];
    char DEFECTREFERENCE[textField(32)];
    char DEFECTABSTRACT[textField(128)];
    char DEFECTTYPE[textField(8)];
};

}  // namespace pelo
