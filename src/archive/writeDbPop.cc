// The populate script's statements.  Each table's statement is a constant
// list of pieces read left to right (fixed text, or a column's value with
// the text that follows it), so the layout of every row can be checked
// against the family's script format one table at a time, and one function
// renders them all through the dialect's literal functions.
#include "archive/writeDbPop.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "archive/confField.h"
#include "db/accessor.h"
#include "db/dbgAuthority.h"
#include "db/dbgCfgcomproc.h"
#include "db/dbgCfgrelproc.h"
#include "db/dbgConfig.h"
#include "db/dbgHost.h"
#include "db/dbgInterest.h"
#include "db/dbgSequence.h"
#include "db/report.h"
#include "support/commandLine.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
#include "support/util.h"

namespace pelo {

namespace {

// ---- the pieces of a statement --------------------------------------------

enum class Render {
    number,           // decimal
    quoted,           // always a literal, '' when empty
    cleaned,          // a literal of the text with ' ` & ; blanked
    nullable,         // null when empty, else a literal
    cleanedNullable,  // null when empty, else a cleaned literal
};

template <class R>
struct Piece {
    Render render;
    const char* name;  ///< the column's name
    std::int32_t (*number)(const R&) = nullptr;
    std::string_view (*text)(const R&) = nullptr;
    const char* after = "";     ///< follows the value (a nullable one: when present)
    const char* nullText = "";  ///< a nullable value's whole rendering when empty
    const char* lead = "";      ///< precedes a nullable value when present
};

template <class T>
struct MemberOf;
template <class R, class F>
struct MemberOf<F R::*> {
    using Record = R;
};
template <auto Member>
using RecordOf = typename MemberOf<decltype(Member)>::Record;

template <auto Member>
std::int32_t numberOf(const RecordOf<Member>& row) {
    return row.*Member;
}
template <auto Member>
std::string_view textOf(const RecordOf<Member>& row) {
    return row.*Member;
}

template <auto Member>
constexpr Piece<RecordOf<Member>> number(const char* name, const char* after) {
    return {.render = Render::number, .name = name, .number = numberOf<Member>, .after = after};
}
template <auto Member>
constexpr Piece<RecordOf<Member>> text(Render render, const char* name, const char* after,
                                       const char* nullText = "", const char* lead = "") {
    return {.render = render, .name = name, .text = textOf<Member>, .after = after, .nullText = nullText,
            .lead = lead};
}

/// One table's statement: "insert into <table> values (", after an empty
/// line when blankLineBefore, the pieces, then ")" and the dialect's
/// statement end.  A refusal names the row by the key column's value.
template <class R>
struct Statement {
    const char* table;
    bool blankLineBefore;
    const char* key;
    std::span<const Piece<R>> pieces;
};

template <class R, std::size_t N>
consteval bool hasColumn(const Piece<R> (&pieces)[N], std::string_view column) {
    for (const Piece<R>& piece : pieces)
        if (std::string_view(piece.name) == column)
            return true;
    return false;
}

// The tables read like the family's script format: each value with the
// text after it; a nullable one with its text when present and its whole
// text when empty.
#define INT(F, after) number<&R::F>(#F, after)
#define QUOTED(F, after) text<&R::F>(Render::quoted, #F, after)
#define CLEANED(F, after) text<&R::F>(Render::cleaned, #F, after)
#define NULLABLE(F, after, null) text<&R::F>(Render::nullable, #F, after, null)
#define CLEANED_NULLABLE(F, after, null) text<&R::F>(Render::cleanedNullable, #F, after, null)
#define STATEMENT(Record, name, table, blank, key, ...)                                  \
    namespace name##Row {                                                                \
    using R = Record;                                                                    \
    constexpr Piece<R> pieces[] = {__VA_ARGS__};                                         \
    static_assert(hasColumn(pieces, key), "a refusal names the row by one of its columns"); \
    }                                                                                    \
    constexpr Statement<Record> name{table, blank, key, name##Row::pieces}

namespace rows {

STATEMENT(ReleaseRecord, releases, "Releases", false, "ID", INT(ID, ","), QUOTED(NAME, ","), INT(COMPID, ","),
          NULLABLE(BINDING, ",\n  ", "null,\n  "), CLEANED_NULLABLE(DESCRIPTION, ",\n  ", "null,"),
          INT(USERID, ","), QUOTED(ADDDATE, ","), NULLABLE(DROPDATE, ",\n  ", "null,\n  "),
          QUOTED(LASTUPDATE, ","), INT(RELSIZE, ","), QUOTED(PROCESS, ","), QUOTED(TRACK, ","),
          QUOTED(APPROVE, ","), QUOTED(FIX, ","), QUOTED(LVL, ","), QUOTED(TEST, ""));
STATEMENT(EnvironmentRecord, environments, "Environments", false, "NAME", QUOTED(NAME, ","), INT(RELEASEID, ","), INT(USERID, ""));
STATEMENT(ApproverRecord, approvers, "Approvers", false, "RELEASEID", INT(RELEASEID, ","), INT(USERID, ""));
// The commit date is null for a level not yet committed.
STATEMENT(LevelRecord, levels, "Levels", false, "ID", INT(ID, ","), QUOTED(NAME, ","), INT(RELEASEID, ","), INT(USERID, ",\n  "),
          QUOTED(ADDDATE, ","), NULLABLE(COMMITDATE, ",", "null,"), QUOTED(LASTUPDATE, ","),
          QUOTED(STATE, ",\n  "), NULLABLE(TYPE, ",", "null,"), INT(LEVELSIZE, ""));
STATEMENT(LevelMemberRecord, levelMembers, "LevelMembers", false, "LEVELID", INT(LEVELID, ","), INT(TRACKID, ""));
STATEMENT(TrackRecord, tracks, "Tracks", true, "ID", INT(ID, ","), INT(RELEASEID, ","), INT(DEFECTID, ","), INT(USERID, ","),
          QUOTED(STATE, ",\n  "), NULLABLE(TARGET, ",", "null,"), NULLABLE(ACTUAL, ",", "null,"),
          QUOTED(ADDDATE, ","), QUOTED(LASTUPDATE, ""));
STATEMENT(ChangeRecord, changes, "Changes", true, "TRACKID", INT(PATHID, ","), INT(TRACKID, ","), INT(FILEID, ","),
          INT(VERSIONID, ","), INT(LEVELID, ","), QUOTED(TYPE, ","), INT(USERID, ""));
STATEMENT(ApprovalRecord, approvals, "Approvals", true, "TRACKID", INT(TRACKID, ","), INT(USERID, ","), QUOTED(STATE, ",\n  "),
          QUOTED(ADDDATE, ","), QUOTED(LASTUPDATE, ""));
STATEMENT(FixRecord, fixes, "Fix", true, "TRACKID", INT(TRACKID, ","), INT(USERID, ","), INT(COMPID, ","),
          QUOTED(STATE, ",\n  "), QUOTED(ADDDATE, ","), QUOTED(LASTUPDATE, ""));
STATEMENT(TestRecord, tests, "Tests", true, "TRACKID", INT(TRACKID, ","), QUOTED(ENVNAME, ","), INT(USERID, ","),
          QUOTED(STATE, ",\n  "), QUOTED(ADDDATE, ","), QUOTED(LASTUPDATE, ""));
STATEMENT(CoreqRecord, coreqs, "Coreqs", true, "TRACKID", INT(TRACKID, ","), INT(GROUPID, ""));
// Defects and features alike; the column list before the values is the
// writer's, since it names the configured columns.
STATEMENT(DefectRecord, defects, "Defects", true, "ID", INT(ID, ", "), QUOTED(TYPE, ","), NULLABLE(PREFIX, ",", "null,"),
          QUOTED(NAME, ","), INT(COMPID, ",\n  "), NULLABLE(ENVNAME, ",", "null,"), QUOTED(STATE, ","),
          NULLABLE(SEVERITY, ",\n  ", "null,"), CLEANED(ABSTRACT, ",\n    "), NULLABLE(REFERENCE, ",", "null,"),
          NULLABLE(ANSWER, ",", "null,"), NULLABLE(LEVELNAME, ",", "null,"), QUOTED(LASTUPDATE, ","),
          QUOTED(ADDDATE, ",\n  "), NULLABLE(ASSIGNDATE, ",", "null,"), NULLABLE(RESPONSEDATE, ",", "null,"),
          NULLABLE(ENDDATE, ",\n  ", "null,"), INT(ORIGINID, ","), INT(OWNERID, ","), INT(AGE, ","),
          NULLABLE(DUPLICATE, ",", "null,"), INT(RELEASEID, ""));
STATEMENT(HistoryRecord, history, "History", true, "DEFECTID", INT(DEFECTID, ","), INT(USERID, ","), QUOTED(ACTION, ","),
          QUOTED(ADDDATE, ""));
STATEMENT(VerifyRecord, verify, "Verify", true, "DEFECTID", INT(DEFECTID, ","), INT(USERID, ","), QUOTED(TYPE, ","),
          QUOTED(STATE, ",\n  "), QUOTED(ADDDATE, ","), QUOTED(LASTUPDATE, ""));
STATEMENT(SizeRecord, sizes, "Sizes", true, "DEFECTID", INT(DEFECTID, ","), INT(COMPID, ","), INT(USERID, ",\n  "),
          QUOTED(ADDDATE, ","), QUOTED(LASTUPDATE, ","), QUOTED(STATE, ","),
          text<&R::SIZING>(Render::cleanedNullable, "SIZING", ",", "null,", "\n  "), INT(RELEASEID, ""));
// Path and version ids and the base name are the writer's caller's.
STATEMENT(FileRecord, files, "Files", true, "ID", INT(ID, ","), INT(COMPID, ","), INT(SOURCEID, ","), INT(PATHID, ","),
          INT(NUPATHID, ","), INT(VERSIONID, ","), INT(NUVERSIONID, ",\n  "), QUOTED(ADDDATE, ","),
          QUOTED(NUADDDATE, ","), NULLABLE(DROPDATE, ",\n  ", "null,\n  "), NULLABLE(NUDROPDATE, ",", "null,"),
          QUOTED(LASTUPDATE, ","), QUOTED(BASENAME, ",\n  "), QUOTED(TYPE, ","), INT(RELEASEID, ","),
          NULLABLE(USERLOGIN, ",", "null,"), QUOTED(FMODE, ""));
STATEMENT(PathRecord, paths, "Path", true, "ID", INT(ID, ","), QUOTED(NAME, ""));
STATEMENT(ComponentRecord, components, "Components", true, "ID", INT(ID, ","), QUOTED(NAME, ",\n  "), INT(USERID, ","),
          CLEANED_NULLABLE(DESCRIPTION, ",\n", "null,"), QUOTED(ADDDATE, ","), NULLABLE(DROPDATE, ",", "null,"),
          QUOTED(LASTUPDATE, ",\n  "), QUOTED(PROCESS, ","), QUOTED(FEATUREDSR, ","), QUOTED(FEATUREVERIFY, ","),
          QUOTED(DEFECTDSR, ","), QUOTED(DEFECTVERIFY, ""));
STATEMENT(CompMbrCopy, compMembers, "CompMembers", false, "parentId", INT(parentId, ","), INT(childId, ","), INT(rank, ","),
          INT(reference, ""));
// The id is the one the user is written under (user 1 renumbered).
STATEMENT(UserRecord, users, "Users", false, "ID", INT(ID, ","), QUOTED(LOGIN, ","), CLEANED_NULLABLE(NAME, ",\n  ", "null,\n  "),
          QUOTED(SUPERUSER, ","), NULLABLE(AREA, ",", "null,"), NULLABLE(ADDRESS, ",\n  ", "null,\n  "),
          QUOTED(ADDDATE, ","), NULLABLE(DROPDATE, ",", "null,"), QUOTED(LASTUPDATE, ""));
// The user id as the user is written; the address is always 0.
STATEMENT(HostRecord, hosts, "Hosts", false, "USERID", INT(USERID, ","), QUOTED(NAME, ",\n  "), QUOTED(LOGIN, ",0"));
STATEMENT(SequenceRecord, sequence, "Sequence", false, "NAME", QUOTED(NAME, ","), INT(LASTSERIAL, ""));
STATEMENT(AuthorityRecord, authority, "Authority", false, "NAME", QUOTED(NAME, ","), QUOTED(ACTION, ""));
STATEMENT(InterestRecord, interest, "Interest", false, "NAME", QUOTED(NAME, ","), QUOTED(ACTION, ""));
STATEMENT(ConfigRecord, config, "Config", false, "NAME", QUOTED(TYPE, ","), QUOTED(NAME, ",\n  "), QUOTED(DFLT, ","),
          INT(VALUE1, ","), INT(VALUE2, ",\n  "), CLEANED_NULLABLE(DESCRIPTION, "", "null"));
STATEMENT(CfgRelProcRecord, relProcs, "Cfgrelproc", false, "NAME", QUOTED(NAME, ","), QUOTED(CONFIG, ""));
STATEMENT(CfgComProcRecord, compProcs, "Cfgcomproc", false, "NAME", QUOTED(NAME, ","), QUOTED(CONFIG, ""));

}  // namespace rows

#undef INT
#undef QUOTED
#undef CLEANED
#undef NULLABLE
#undef CLEANED_NULLABLE
#undef STATEMENT

// ---- lines that would end the script's input -------------------------------

/// A line of a value that the program reading the script would take for
/// its own command.  The Informix script is a here-document that its line
/// "!" ends; the Sybase tool reads its commands from the start of any line
/// (with blanks around, in any case): "go" ends the batch, and the others
/// empty it, leave, start an editor, run a shell command or read a file.
struct InputCommand {
    Dialect dialect;
    std::string_view word;
    bool loose;   ///< blanks around it and any case still make the command
    bool prefix;  ///< the command is the start of the line, whatever follows
};

constexpr InputCommand inputCommands[] = {
    {Dialect::informix, "!", false, false}, {Dialect::sybase, "go", true, false},
    {Dialect::sybase, "reset", true, false}, {Dialect::sybase, "quit", true, false},
    {Dialect::sybase, "exit", true, false},  {Dialect::sybase, "vi", true, false},
    {Dialect::sybase, "!!", true, true},     {Dialect::sybase, ":r", true, true},
};

bool isLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool sameWord(std::string_view text, std::string_view word, bool anyCase) {
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (anyCase ? std::tolower(static_cast<unsigned char>(text[i])) != word[i] : text[i] != word[i])
            return false;
    return true;
}

bool isCommandLine(std::string_view line, const InputCommand& command) {
    if (command.loose) {
        while (!line.empty() && isLineBlank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && isLineBlank(line.back()) && !command.prefix)
            line.remove_suffix(1);
    }
    if (command.prefix)
        line = line.substr(0, command.word.size());
    return sameWord(line, command.word, command.loose);
}

/// The command word of the first line of the literal that would be read as
/// a command of the dialect's tool, or null.  A literal's first and last
/// lines carry its quotes, so only whole lines of the value can match.
const char* commandIn(Dialect dialect, std::string_view literal) {
    for (std::size_t start = 0; start < literal.size();) {
        const std::size_t end = std::min(literal.find('\n', start), literal.size());
        for (const InputCommand& command : inputCommands)
            if (command.dialect == dialect && isCommandLine(literal.substr(start, end - start), command))
                return command.word.data();
        start = end + 1;
    }
    return nullptr;
}

// ---- rendering and writing --------------------------------------------------

const DialectSettings& script() { return dialectSettings(archCtx.database); }

/// Appends the text to the script; once a value was refused the script is
/// useless, and nothing more is written.
void put(const DbPopWriter& writer, std::string_view text) {
    FILE* fp = archCtx.dbPop.fp();
    if (!writer.failed && fp != nullptr)
        std::fwrite(text.data(), 1, text.size(), fp);
}

/// A statement being rendered, with the first command line met in it.
struct Rendered {
    std::string text;
    const char* command = nullptr;

    void literal(const std::string& value) {
        if (command == nullptr)
            command = commandIn(script().dialect, value);
        text += value;
    }
};

template <class R>
void renderPiece(Rendered& out, const Piece<R>& piece, const R& row) {
    const Dialect dialect = script().dialect;
    switch (piece.render) {
    case Render::number:
        out.text += std::to_string(piece.number(row));
        break;
    case Render::quoted:
        out.literal(sqlQuote(dialect, piece.text(row)));
        break;
    case Render::cleaned:
        out.literal(sqlQuoteCleaned(dialect, piece.text(row)));
        break;
    case Render::nullable:
    case Render::cleanedNullable:
        if (piece.text(row).empty()) {
            out.text += piece.nullText;
            return;
        }
        out.text += piece.lead;
        out.literal(piece.render == Render::nullable ? sqlQuote(dialect, piece.text(row))
                                                     : sqlQuoteCleaned(dialect, piece.text(row)));
        break;
    }
    out.text += piece.after;
}

/// "<key column> <its value>", naming the row in a refusal.
template <class R>
std::string rowName(const Statement<R>& statement, const R& row) {
    for (const Piece<R>& piece : statement.pieces) {
        if (std::string_view(piece.name) != statement.key)
            continue;
        const std::string value =
            piece.render == Render::number ? std::to_string(piece.number(row)) : std::string(piece.text(row));
        return std::string(piece.name) + " " + value;
    }
    return statement.key;
}

/// Writes one statement: `opening` ("insert into <table> values (" unless
/// given), the pieces, the configured values and the statement's end.  A
/// value that the script's reader would take for a command is refused: the
/// statement is not written and the script is marked failed.
template <class R>
void writeRow(DbPopWriter& writer, const Statement<R>& statement, const R& row, std::string_view opening = {},
              const Rendered& configured = {}) {
    if (writer.failed)
        return;
    Rendered out;
    if (opening.empty())
        out.text.append(statement.blankLineBefore ? "\n" : "").append("insert into ").append(statement.table).append(
            " values (");
    else
        out.text = opening;
    for (const Piece<R>& piece : statement.pieces)
        renderPiece(out, piece, row);
    out.text.append(configured.text).append(")").append(script().semiString).append("\n");
    if (const char* command = out.command ? out.command : configured.command) {
        msgPrint(1333);
        msgPrint(1537, statement.table, rowName(statement, row).c_str(), command);
        writer.failed = true;
        return;
    }
    put(writer, out.text);
}

/// The commit that hosts and the global tables write: "\n<commit> \n",
/// nothing where the dialect commits nothing.
void putSpacedCommit(const DbPopWriter& writer) {
    const std::string_view commit = script().commitString;
    if (!commit.empty())
        put(writer, std::string("\n").append(commit).append(" \n"));
}

/// 0 when the text reached the stream and no write since the stream was
/// opened failed; else messages 1333 and 1458 with the script's path, and
/// 1.  The stream's error flag stays set, so a full disk met while the
/// stream emptied its buffer for any earlier statement shows here; with
/// `flush`, the text itself is pushed to the file first.
int putChecked(const std::string& text, bool flush = false) {
    FILE* fp = archCtx.dbPop.fp();
    if (fp != nullptr && std::fputs(text.c_str(), fp) >= 0 && (!flush || std::fflush(fp) == 0) &&
        std::ferror(fp) == 0)
        return 0;
    msgPrint(1333);
    msgPrint(1458, archCtx.dbPop.path().c_str());
    return 1;
}

/// The row as the family stores it, into the row copy when there is one.
template <class R>
void copyRow(const DbPopWriter& writer, const R& row) {
    if (writer.rowCopy != nullptr)
        writer.rowCopy->copy(row);
}

// ---- configurable columns -----------------------------------------------------

ReportRows& configuredRows(DbPopWriter& writer, ConfigObject object) {
    return writer.configuredRows[static_cast<std::size_t>(object)];
}

/// ",\n  " and each configured value of the object as a literal, null when
/// empty, fetched by the object's report query or taken from the rows
/// loadConfiguredValues read.
Rendered configuredValues(DbPopWriter& writer, ConfigObject object, SqlValue key) {
    const ConfigTable& table = configTable(object);
    Rendered values;
    if (table.count == 0)
        return values;  // nothing to fetch: the statement has the fixed columns only
    // A query that fails before its bind step leaves the slots alone: empty
    // them first, so such an object gets nulls, never the values of the one
    // before it.
    ReportSlots& slots = writer.reportSlots;
    for (std::string& slot : slots.formatOffset)
        slot.clear();
    std::string errors;
    configuredRows(writer, object)
        .report(reportRelation(object), {reportKeyColumn(object), key}, dbConvertRout, errors,
                reportColumnList(object), slots);
    const int first = firstConfigItem(object);
    for (int k = 1; k <= table.count; ++k) {
        values.text += ",\n  ";
        values.literal(sqlQuoteNullable(script().dialect, slots.formatOffset[static_cast<std::size_t>(first + k - 1)]));
    }
    resetConfigAddr(slots);
    return values;
}

template <class Key>
void loadConfigured(DbPopWriter& writer, ConfigObject object, std::span<const Key> keys) {
    if (configTable(object).count == 0)
        return;
    // A failed read holds nothing, and each object's own query then meets
    // the failure as it always has.
    std::string errors;
    configuredRows(writer, object)
        .load(reportRelation(object), reportKeyColumn(object), keys, errors, reportColumnList(object));
}

constexpr const char* defectHead =
    "\ninsert into Defects (id, type, prefix, name, compId, envName, state,\n"
    "  severity, abstract, reference, answer, levelName, lastUpdate, addDate,\n"
    "  assignDate, responseDate, endDate, originId, ownerId, age, duplicate,\n"
    "  releaseId";
constexpr const char* featureHead =
    "\ninsert into Defects (id, type, prefix, name, compId, envName, state,\n"
    "   severity, abstract, reference, answer, levelName, lastUpdate, addDate,\n"
    "   assignDate, responseDate, endDate, originId, ownerId, age, duplicate,\n"
    "   releaseId";

/// The Defects column list: the head, then each configured column, a line
/// break before every fourth.
std::string defectsOpening(const char* head, const ConfigTable& table) {
    std::string opening = head;
    for (int k = 1; k <= table.count; ++k)
        opening.append(k % 4 == 0 ? ",\n  " : ", ").append(table.entries[static_cast<std::size_t>(k - 1)].dbName);
    return opening + ") values (";
}

void writeDefectRow(DbPopWriter& writer, const DefectRecord& defect, const char* head, ConfigObject object) {
    copyRow(writer, defect);
    const Rendered configured = configuredValues(writer, object, std::string_view(defect.NAME));
    writeRow(writer, rows::defects, defect, defectsOpening(head, configTable(object)), configured);
}

// ---- users and the global tables -------------------------------------------

/// The id a user is written under.  User 1 is the family's own first user
/// in every family, so in the family the archive is restored into it would
/// collide: it takes the general sequence's next value instead, which the
/// Sequence row then records as used.
std::int32_t writtenUserId(DbPopWriter& writer, std::int32_t id) {
    if (id != 1)
        return id;
    SequenceRecord general{};
    dbgSequenceGetByName(general, "general");
    writer.incrGenSequence = 1;
    return general.LASTSERIAL + 1;
}

/// Only the serial counters the restore must carry on from are written:
/// "general" (one higher once user 1 took a value), "defect", and "source"
/// as the greatest source id archived.  Every row is counted.
void takeSequenceTable(DbPopWriter& writer) {
    forEachRow(dbgSequenceGetList, [&](SequenceRecord row) {
        ++archCtx.numSequence;
        copyRow(writer, row);
        const std::string_view name = row.NAME;
        if (name == "general")
            row.LASTSERIAL += writer.incrGenSequence;
        else if (name == "source")
            row.LASTSERIAL = findMaxSourceIdInVersionList();
        else if (name != "defect")
            return;
        if (archiving())
            writeRow(writer, rows::sequence, row);
    });
}

template <class R>
void takeWholeTable(DbPopWriter& writer, int (*walk)(int, R&), int ArchiveContext::*counter,
                    const Statement<R>& statement) {
    forEachRow(walk, [&](const R& row) {
        ++(archCtx.*counter);
        copyRow(writer, row);
        if (archiving())
            writeRow(writer, statement, row);
    });
}

// Each global table commits after its rows, except in a Sybase script: its
// commits open the next transaction, so Authority to Cfgcomproc go in the
// one transaction Sequence's commit opened, which the script's closing
// commit (its trailer's text) ends after the last without opening another.
void commitGlobalTable(const DbPopWriter& writer, bool last) {
    if (!archiving())
        return;
    if (script().dialect != Dialect::sybase)
        putSpacedCommit(writer);
    else if (last)
        put(writer, script().scriptTrailer);
}

// ---- the Informix tool ---------------------------------------------------------

/// The names the Informix SQL tool goes by below $INFORMIXDIR/bin, in the
/// order they are tried, each with the path the script runs it by.  The
/// parentheses of "isql(rf)" are shell syntax, so that name is quoted both
/// in the listing and in the script: written bare, the here-document line
/// would be a syntax error when the script runs.
struct InformixTool {
    ShellText listing;
    const char* scriptPath;
};

constexpr InformixTool informixTools[] = {
    {"/bin/isql", "$1/bin/isql"},
    {"/bin/'isql(rf)'", "$1/bin/'isql(rf)'"},
    {"/bin/isqlrf", "$1/bin/isqlrf"},
};

// Without INFORMIXDIR there is nowhere to look, which the driver's check of
// the database environment does not let happen in a run.
const char* findInformixTool() {
    if (!archCtx.infx_home)
        return nullptr;
    for (const InformixTool& tool : informixTools) {
        const CommandLine listing = CommandLine("ls -l").arg(*archCtx.infx_home).text(tool.listing);
        if (!listingVerdict(send_command(listing)).failed())
            return tool.scriptPath;
    }
    return nullptr;
}

}  // namespace

int addLoginLineToDbPopFile() {
    const DialectSettings& dialect = script();
    std::string header = dialect.scriptHeader;
    if (dialect.hereDocument) {
        const char* tool = findInformixTool();
        if (tool == nullptr) {
            msgPrint(1388);
            return 1;
        }
        // "%s %s $2%s >>$3 2>&1 <<!\n\n": the tool, no options, no password.
        header = std::string(tool) + "  $2 >>$3 2>&1 <<!\n\n";
    }
    // The header goes to the file at once: a script that cannot even be
    // begun fails here rather than after the whole selection.
    return header.empty() ? 0 : putChecked(header, true);
}

int addCommitStmtToDbPopFile(const DbPopWriter& writer) {
    if (writer.failed)
        return 1;  // the refusal has been reported
    const std::string_view commit = script().commitString;
    return putChecked(commit.empty() ? "\n" : std::string("\n").append(commit).append("\n"));
}

void writeReleaseInfoToDbPopFile(DbPopWriter& writer, const ReleaseRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::releases, row);
}

void writeEnvInfoToDbPopFile(DbPopWriter& writer, const EnvironmentRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::environments, row);
}

void writeApproverInfoToDbPopFile(DbPopWriter& writer, const ApproverRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::approvers, row);
}

void writeLevelInfoToDbPopFile(DbPopWriter& writer, const LevelRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::levels, row);
}

void writeLevelMemInfoToDbPopFile(DbPopWriter& writer, const LevelMemberRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::levelMembers, row);
}

void writeTrackInfoToDbPopFile(DbPopWriter& writer, const TrackRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::tracks, row);
}

void writeChangeInfoToDbPopFile(DbPopWriter& writer, const ChangeRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::changes, row);
}

void writeApprovalInfoToDbPopFile(DbPopWriter& writer, const ApprovalRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::approvals, row);
}

void writeFixInfoToDbPopFile(DbPopWriter& writer, const FixRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::fixes, row);
}

void writeTestInfoToDbPopFile(DbPopWriter& writer, const TestRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::tests, row);
}

void writeCoreqInfoToDbPopFile(DbPopWriter& writer, const CoreqRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::coreqs, row);
}

void writeDefectInfoToDbPopFile(DbPopWriter& writer, const DefectRecord& defect) {
    writeDefectRow(writer, defect, defectHead, ConfigObject::defect);
}

void writeFeatureInfoToDbPopFile(DbPopWriter& writer, const DefectRecord& feature) {
    writeDefectRow(writer, feature, featureHead, ConfigObject::feature);
}

void writeHistoryInfoToDbPopFile(DbPopWriter& writer, const HistoryRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::history, row);
}

void writeVerifyInfoToDbPopFile(DbPopWriter& writer, const VerifyRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::verify, row);
}

void writeSizeInfoToDbPopFile(DbPopWriter& writer, const SizeRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::sizes, row);
}

void writeFileInfoToDbPopFile(DbPopWriter& writer, const FileRecord& file, int pathId, int versionId,
                              const char* baseName) {
    copyRow(writer, file);
    FileRecord row = file;
    row.PATHID = row.NUPATHID = pathId;
    row.VERSIONID = row.NUVERSIONID = versionId;
    // The base name goes into a column of textWidth(sizeof row.BASENAME)
    // characters; whatever the caller made of a path is cut to that, inside
    // a character only where the text is not UTF-8 and would overrun.
    const std::string_view name =
        utf8Prefix(baseName != nullptr ? baseName : "", textWidth(sizeof row.BASENAME)).substr(0, sizeof row.BASENAME - 1);
    name.copy(row.BASENAME, name.size());
    row.BASENAME[name.size()] = '\0';
    writeRow(writer, rows::files, row, {}, configuredValues(writer, ConfigObject::file, file.ID));
}

void writePathInfoToDbPopFile(DbPopWriter& writer, const PathRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::paths, row);
}

void writeCompInfoToDbPopFile(DbPopWriter& writer, const ComponentRecord& row) {
    copyRow(writer, row);
    writeRow(writer, rows::components, row);
}

void writeCompMbrInfoToDbPopFile(DbPopWriter& writer, const CompMbrCopy& row) {
    copyRow(writer, row);
    writeRow(writer, rows::compMembers, row);
}

int writeUserAndHostInfoToDbPopFile(DbPopWriter& writer, const UserRecord& user) {
    copyRow(writer, user);
    UserRecord row = user;
    row.ID = writtenUserId(writer, user.ID);
    writeRow(writer, rows::users, row, {},
             configuredValues(writer, ConfigObject::user, std::string_view(user.LOGIN)));
    return dbgHostBulkForUser().forEach(user.ID, [&](HostRecord host) {
        copyRow(writer, host);
        host.USERID = row.ID;
        writeRow(writer, rows::hosts, host);
        putSpacedCommit(writer);
    });
}

void loadConfiguredValues(DbPopWriter& writer, ConfigObject object, std::span<const std::int32_t> ids) {
    loadConfigured(writer, object, ids);
}

void loadConfiguredValues(DbPopWriter& writer, ConfigObject object, std::span<const std::string> keys) {
    loadConfigured(writer, object, keys);
}

void forgetConfiguredValues(DbPopWriter& writer, ConfigObject object) { configuredRows(writer, object).clear(); }

int takeGlobalTables(DbPopWriter& writer) {
    takeSequenceTable(writer);
    if (archiving())
        putSpacedCommit(writer);
    takeWholeTable(writer, dbgAuthorityGetList, &ArchiveContext::numAuthority, rows::authority);
    commitGlobalTable(writer, false);
    takeWholeTable(writer, dbgInterestGetList, &ArchiveContext::numInterest, rows::interest);
    commitGlobalTable(writer, false);
    takeWholeTable(writer, dbgConfigGetList, &ArchiveContext::numConfig, rows::config);
    commitGlobalTable(writer, false);
    takeWholeTable(writer, dbgRelProcGetAllList, &ArchiveContext::numCfgRelProc, rows::relProcs);
    commitGlobalTable(writer, false);
    takeWholeTable(writer, dbgCompProcGetAllList, &ArchiveContext::numCfgComProc, rows::compProcs);
    commitGlobalTable(writer, true);
    return writer.failed ? 1 : 0;
}

int findMaxSourceIdInVersionList() {
    int greatest = 0;
    for (const SourceEntry& entry : archCtx.sourceIdList)
        greatest = std::max(greatest, entry.sourceId);
    return greatest;
}

}  // namespace pelo
