// The populate script "PELOarchive.dbData": one insert statement for every
// archived row, in the dialect of the family's database, written on the
// work file archCtx.dbPop.  The object selection (generateDbPop) decides
// which rows and in which order; these writers decide every byte of a row.
//
// Every value from the database goes through the dialect's literal
// functions (archive/dialect.h), so that running the script gives back
// exactly the value and nothing else happens.
//
// The table writers return nothing: a full disk shows at the next commit
// statement or at the script's final flush and close.  A value that the
// script's reader would take for its own command is refused by the
// writer: in the Informix here-document a line that is exactly "!", which
// would end the here-document; in a Sybase batch a line that is the tool's
// command "go" (which would split the batch), "reset", "quit", "exit" or
// "vi", blanks around and in any case, or one starting with "!!" or ":r".
// The writer prints message 1537 naming the table and the row, leaves the
// statement out and marks the script failed (DbPopWriter::failed); from
// then on nothing more is written, and addCommitStmtToDbPopFile and
// takeGlobalTables report it, so the run stops before anything is removed.
//
// The writers only write, and only in an archive run: the object selection
// counts the rows and collects the ids they name.  The one exception is
// takeGlobalTables, which reads its tables itself and so counts them too,
// in both kinds of run.
//
// The dialect is archCtx.database throughout; the writers read the
// configurable-field tables and report column lists of confField.h, which
// the selection reads before the first statement.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "archive/confField.h"
#include "archive/context.h"
#include "archive/rowCopy.h"
#include "db/records.h"
#include "db/report.h"

namespace pelo {

/// What the writers carry from one statement of a script to the next.  The
/// populate walk owns one for its script and hands it to every writer; a
/// new one starts a new script.
struct DbPopWriter {
    /// A writer refused a value (its message printed): nothing more is
    /// written and the script cannot be used.
    bool failed = false;
    /// 1 once user 1 took the general sequence's next value, which the
    /// Sequence row of "general" then records as used.
    int incrGenSequence = 0;
    /// Where the report query of an object puts its configured columns.
    ReportSlots reportSlots;
    /// The configured columns of the objects read ahead, one kind of object
    /// (ConfigObject) each.
    std::array<ReportRows, configObjectCount> configuredRows;
    /// Where each row written also goes as the family stores it, in an
    /// archive run; null when no copy is kept.
    RowCopy* rowCopy = nullptr;
};

/// Reads the configured columns of the next objects of one kind with one
/// report query, for their writers to take instead of one query each:
/// defects and features by name, files by id, users by login.  Nothing is
/// read for a kind without configured fields.  What the read holds stays
/// until the next read or forgetConfiguredValues; an object it does not
/// hold, or all after a failed read, is queried by its writer as before.
void loadConfiguredValues(DbPopWriter& writer, ConfigObject object, std::span<const std::int32_t> ids);
void loadConfiguredValues(DbPopWriter& writer, ConfigObject object, std::span<const std::string> keys);

/// Forgets what loadConfiguredValues read for the kind of object.
void forgetConfiguredValues(DbPopWriter& writer, ConfigObject object);

/// Writes the script's header and pushes it to the file: for Informix the
/// here-document line, after finding the SQL tool below $INFORMIXDIR/bin
/// (isql, then isql(rf), then isqlrf); the Sybase batch's opening; nothing
/// for Oracle and the VQL database.  0, or 1 after message 1333 and 1458
/// (write failure) or 1388 (no Informix tool, or INFORMIXDIR unset).
int addLoginLineToDbPopFile();

/// Writes "\n<commit>\n", or "\n" where the dialect commits nothing.  0, or
/// 1 when a write to the script has failed since it was opened (messages
/// 1333 and 1458 with the script's path) or a writer has refused a value
/// (its message already printed).
int addCommitStmtToDbPopFile(const DbPopWriter& writer);

void writeReleaseInfoToDbPopFile(DbPopWriter& writer, const ReleaseRecord& release);
void writeEnvInfoToDbPopFile(DbPopWriter& writer, const EnvironmentRecord& environment);
void writeApproverInfoToDbPopFile(DbPopWriter& writer, const ApproverRecord& approver);
void writeLevelInfoToDbPopFile(DbPopWriter& writer, const LevelRecord& level);
void writeLevelMemInfoToDbPopFile(DbPopWriter& writer, const LevelMemberRecord& member);
void writeTrackInfoToDbPopFile(DbPopWriter& writer, const TrackRecord& track);
void writeChangeInfoToDbPopFile(DbPopWriter& writer, const ChangeRecord& change);
void writeApprovalInfoToDbPopFile(DbPopWriter& writer, const ApprovalRecord& approval);
void writeFixInfoToDbPopFile(DbPopWriter& writer, const FixRecord& fix);
void writeTestInfoToDbPopFile(DbPopWriter& writer, const TestRecord& test);
void writeCoreqInfoToDbPopFile(DbPopWriter& writer, const CoreqRecord& coreq);
/// A row of type "defect", with the configured defect columns.
void writeDefectInfoToDbPopFile(DbPopWriter& writer, const DefectRecord& defect);
/// A row of any other type, with the configured feature columns.
void writeFeatureInfoToDbPopFile(DbPopWriter& writer, const DefectRecord& feature);
void writeHistoryInfoToDbPopFile(DbPopWriter& writer, const HistoryRecord& history);
void writeVerifyInfoToDbPopFile(DbPopWriter& writer, const VerifyRecord& verify);
void writeSizeInfoToDbPopFile(DbPopWriter& writer, const SizeRecord& size);
/// The Files row with the given path id (for PATHID and NUPATHID), version
/// id (VERSIONID and NUVERSIONID) and base name, and the configured file
/// columns.
void writeFileInfoToDbPopFile(DbPopWriter& writer, const FileRecord& file, int pathId, int versionId,
                              const char* baseName);
void writePathInfoToDbPopFile(DbPopWriter& writer, const PathRecord& path);
void writeCompInfoToDbPopFile(DbPopWriter& writer, const ComponentRecord& component);
void writeCompMbrInfoToDbPopFile(DbPopWriter& writer, const CompMbrCopy& member);
/// The Users row with the configured user columns, then every Hosts row of
/// the user, each followed by "\n<commit> \n".  User 1 is written (with
/// its hosts) under the general sequence's LASTSERIAL + 1, and the Sequence
/// row of "general" then carries that value.  The number of Hosts rows,
/// for numHosts.
int writeUserAndHostInfoToDbPopFile(DbPopWriter& writer, const UserRecord& user);

/// Takes the six global tables, each read whole: counts every row
/// (numSequence, numAuthority, numInterest, numConfig, numCfgRelProc,
/// numCfgComProc) and, in an archive run, writes Sequence (only "general",
/// "defect" and "source", whose value is findMaxSourceIdInVersionList()),
/// Authority, Interest, Config, Cfgrelproc and Cfgcomproc with their commit
/// texts.  0, or 1 when the script has been refused (writer.failed).
int takeGlobalTables(DbPopWriter& writer);

/// The greatest source id in sourceIdList, 0 when it is empty.
int findMaxSourceIdInVersionList();

}  // namespace pelo
