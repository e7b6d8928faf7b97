// The row copy "PELOarchive.rows.db": every row an archive takes, exactly
// as the family stores it, in an SQLite database of the family's tables.
// The populate script cannot be that copy: it blanks the free texts'
// ' ` & and ;, leaves out the configured fields that are switched off and
// those past the twentieth, and renumbers user 1.  The copy has every
// column of each table, the family's configured columns of Defects, Files
// and Users included, and each text as it was read; anyone can query it
// with sqlite3, and the removal deletes no row it does not hold.
//
// Its tables are the family's tables under the family's names (RELEASES,
// LEVELMEMBERS, ...), with the columns in the family's order and kinds
// (INTEGER, VARCHAR(N)) but without keys, collations or indexes.  An
// empty text is stored as NULL, as the family's server stores it; an
// integer as the number it is.  The copy is written in one transaction
// and made durable when it is committed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "archive/context.h"
#include "db/client.h"
#include "db/records.h"

namespace pelo {

/// The row copy's name in an archive directory.
inline constexpr const char* rowCopyName = "PELOarchive.rows.db";

/// The tables of the copy, one per family table an archive takes rows of.
enum class CopyTable {
    releases, environments, approvers, levels, levelMembers, tracks, changes, approvals, fixes, tests,
    coreqs, defects, history, notes, verify, sizes, files, paths, versions, components, compMembers,
    users, hosts, sequence, authority, interest, config, relProcs, compProcs,
};

/// The family's name of the table ("LEVELMEMBERS").
const char* copyTableName(CopyTable table);

/// The columns a row of the table is known by, joined by commas: ID where
/// the table has one, else every fixed column but a note's remarks.
const std::string& copyKeyColumns(CopyTable table);

/// The copy being written by an archive run's populate walk.  Owns the
/// database handle, the prepared INSERT of each table and the thread that
/// runs them: each copy call only encodes the row for that thread, which
/// inserts it beside the walk.  The destructor waits for the thread and
/// closes the handle, abandoning an uncommitted transaction.  Not copyable.
///
/// A failing write is remembered, not reported at once: every later copy
/// does nothing, and finish reports the first failure.
class RowCopy {
public:
    RowCopy();
    ~RowCopy();
    RowCopy(const RowCopy&) = delete;
    RowCopy& operator=(const RowCopy&) = delete;

    /// Makes the file at `path`, which must not exist yet, with the
    /// tables, and begins the transaction.  The configured columns are the
    /// columns the family database (the open session) has in Defects,
    /// Files and Users beyond the fixed ones, whatever the configuration
    /// switches.  0, or 1 after message 1712.
    int create(const std::string& path);

    /// Whether create succeeded and finish has not run.
    bool isOpen() const;

    /// Reads the configured columns of many defects, files or users (by
    /// ID) with one statement, for their copies; what was read before is
    /// forgotten.  A row copied whose id no load read is read on its own.
    void loadConfigured(CopyTable table, std::span<const std::int32_t> ids);

    void copy(const ReleaseRecord& row);
    void copy(const EnvironmentRecord& row);
    void copy(const ApproverRecord& row);
    void copy(const LevelRecord& row);
    void copy(const LevelMemberRecord& row);
    void copy(const TrackRecord& row);
    void copy(const ChangeRecord& row);
    void copy(const ApprovalRecord& row);
    void copy(const FixRecord& row);
    void copy(const TestRecord& row);
    void copy(const CoreqRecord& row);
    void copy(const DefectRecord& row);  ///< with its configured columns
    void copy(const HistoryRecord& row);
    void copy(const NoteRecord& row);
    void copy(const NoteViewRecord& row);  ///< the Notes row the view shows
    void copy(const VerifyRecord& row);
    void copy(const SizeRecord& row);
    void copy(const FileRecord& row);  ///< with its configured columns
    void copy(const PathRecord& row);
    void copy(const VersionRecord& row);
    void copy(const ComponentRecord& row);
    void copy(const CompMbrCopy& row);
    void copy(const UserRecord& row);  ///< with its configured columns
    void copy(const HostRecord& row);
    void copy(const SequenceRecord& row);
    void copy(const AuthorityRecord& row);
    void copy(const InterestRecord& row);
    void copy(const ConfigRecord& row);
    void copy(const CfgRelProcRecord& row);
    void copy(const CfgComProcRecord& row);

    /// Waits for the rows still to be inserted, commits the transaction,
    /// which waits for the disk, and closes the file.  0, or 1 after
    /// message 1712 when a write or the commit failed.
    int finish();

    /// The seconds the walk has spent on the copy so far: its file and
    /// tables, the reads of the configured columns, encoding and handing
    /// over the rows, and in finish the wait for the last inserts and the
    /// commit.  The inserts themselves run beside the walk.
    double seconds() const;

    struct State;

private:
    template <class R>
    void insert(const R& row, std::int32_t configuredId = 0);

    std::unique_ptr<State> state_;
};

/// The keys of the rows a finished copy holds, read from its file once per
/// table, for the removal to look up.  Not copyable.
class RowCopyKeys {
public:
    explicit RowCopyKeys(std::string path);
    ~RowCopyKeys();
    RowCopyKeys(const RowCopyKeys&) = delete;
    RowCopyKeys& operator=(const RowCopyKeys&) = delete;

    /// Reads from the family (the open session) the keys of the rows of
    /// `table` that `condition` finds, with the binds given, and answers
    /// with the first that the copy lacks, as "COLUMN=value, ..."; nullopt
    /// when the copy holds them all.  A copy that cannot be read prints
    /// message 1712 and gives "" (no row can be proved copied).
    std::optional<std::string> firstMissing(CopyTable table, std::string_view condition, SqlBinds binds);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace pelo
