#include "archive/createDbExport.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "archive/archUtil.h"
#include "archive/context.h"
#include "archive/peloarchive.h"
#include "archive/phases.h"
#include "db/session.h"
#include "support/commandLine.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
#include "support/util.h"

namespace pelo {

namespace {

// ---- load files -------------------------------------------------------------

// The load format ends a field at '|', so a bar inside the remarks is
// written as '!'; nothing else changes, new-lines included, and the reader
// takes a record on over new-lines until it has all its fields.
std::string loadRemarks(const char* remarks) {
    if (*remarks == '\0')
        return "null";
    std::string copy(remarks);
    std::ranges::replace(copy, '|', '!');
    return copy;
}

int addLoadStmt(const char* statement) {
    FILE* script = archCtx.dbPop.fp();
    if (script != nullptr && std::fputs(statement, script) >= 0)
        return 0;
    msgPrint(1333);
    msgPrint(1458, archCtx.dbPop.path().c_str());
    return 1;
}

// ---- error words ------------------------------------------------------------

constexpr std::string_view oracleErrorWords[] = {"ERROR", "Error", "error", "ABNORMAL", "Abnormal",
                                                 "abnormal", "ABORT", "Abort", "abort"};
constexpr std::string_view sybaseErrorWords[] = {"Msg", "Level", "State"};
// The shell's echo of a failed command's status counts for 4 and 8 (and
// so for any status whose decimal text starts with 4 or 8); the tool's
// own failures show as SQLSTATE or as its message codes.
constexpr std::string_view vqlErrorWords[] = {"SQLSTATE=", "SQL1013N", "SQL10018N",
                                              "VQL command return code = 4",
                                              "VQL command return code = 8"};

std::span<const std::string_view> errorWords(Dialect dialect) {
    switch (dialect) {
    case Dialect::oracle: return oracleErrorWords;
    case Dialect::sybase: return sybaseErrorWords;
    case Dialect::dizoz: return vqlErrorWords;
    case Dialect::informix:
    case Dialect::none: break;
    }
    return {};
}

// ---- export commands ----------------------------------------------------------

// The tool's two streams, each judged on its own; sized for the tools'
// reports, not for the run-wide buffers.
constexpr std::size_t exportBufSize = 10000;

/// One run of the product's tool and the work file it writes.
struct ExportRun {
    CommandLine command;
    WorkFile ArchiveContext::*output;
};

ExportRun oracleRun(const std::string& home, const std::string& password) {
    CommandLine line;
    line.quoted(home).text("/bin/exp  ").quoted(archCtx.familyName).text("/").quoted(password)
        .text(" BUFFER=40000 FILE=").quoted(archCtx.archExport.path())
        .text(" INDEXES=N TABLES=notes,versions");
    return {line, &ArchiveContext::archExport};
}

ExportRun sybaseRun(ShellText tool, WorkFile ArchiveContext::*output, const std::string& home,
                    const std::string& password) {
    CommandLine line;
    line.quoted(home).text(tool).quoted((archCtx.*output).path()).text(" -n -U").quoted(archCtx.familyName)
        .text(" -P").quoted(password);
    return {line, output};
}

// CONNECT checks that the family's database is there before EXPORT runs;
// the echo reports the status of whichever of the two failed.
ExportRun vqlRun(ShellText afterConnect, ShellText afterPath, WorkFile ArchiveContext::*output,
                 const std::string& home) {
    CommandLine line;
    line.quoted(home).text("/sqllib/bin/vql CONNECT TO ").quoted(archCtx.familyName).text(afterConnect)
        .quoted(home).text("/sqllib/bin/vql EXPORT TO ").quoted((archCtx.*output).path()).text(afterPath);
    return {line, output};
}

// The runs of the family's product.  The driver refuses a run whose
// product's variables are unset before it connects, so every run that gets
// here has them; a caller that skipped those checks gets the driver's own
// message (0010-919 for the product's home, 0011-022 or 0011-028 for the
// password) and no command runs.
int exportRuns(std::vector<ExportRun>& runs) {
    const ArchiveContext& c = archCtx;
    switch (c.database) {
    case Dialect::oracle:
        if (!c.orac_home)
            return refuseUnset(1327);
        if (!c.orac_dba_pass)
            return refuseUnset(1522);
        runs.push_back(oracleRun(*c.orac_home, *c.orac_dba_pass));
        return 0;
    case Dialect::sybase:
        if (!c.syb_home)
            return refuseUnset(1327);
        if (!c.syb_pass)
            return refuseUnset(1536);
        runs.push_back(sybaseRun("/bin/bcp Notes out ", &ArchiveContext::dbLoadNotes, *c.syb_home, *c.syb_pass));
        runs.push_back(sybaseRun("/bin/bcp Versions out ", &ArchiveContext::dbLoadVers, *c.syb_home, *c.syb_pass));
        return 0;
    case Dialect::dizoz:
        if (!c.xw_home)
            return refuseUnset(1327);
        runs.push_back(vqlRun(" &&                  ",
                              " OF IXF \"select * from Notes\" || echo \"VQL command return code = $?.\"",
                              &ArchiveContext::dbLoadNotes, *c.xw_home));
        runs.push_back(vqlRun(" &&                          ",
                              " OF IXF \"select * from Versions\" || echo \"VQL command return code = $?.\"",
                              &ArchiveContext::dbLoadVers, *c.xw_home));
        return 0;
    case Dialect::informix:
    case Dialect::none: break;
    }
    return 0;
}

// Runs the tool; 1 after message 1518 for each complaint: a stream that
// shows the product's words, or a failed ending the words did not see.
int runExport(const ExportRun& run) {
    WorkFile& output = archCtx.*run.output;
    // The tool writes the file itself: the run's own stream on it has
    // nothing to add and is closed before the tool starts.
    output.close();
    if (archCtx.database == Dialect::dizoz)
        dbCommit();  // the tool connects on its own and must see committed work only
    std::vector<char> out(exportBufSize), err(exportBufSize);
    const CommandResult result = send_command(run.command, out.data(), out.size(), err.data(), err.size());
    const Verdict exported = exportVerdict(result, errorWords(archCtx.database));
    for (const std::string& complaint : exported.complaints)
        msgPrint(1518, output.path().c_str(), complaint.c_str());
    return exported.failed() ? 1 : 0;
}

// An Oracle export that stopped without a word of failure, on a full file
// system, leaves an empty file.  A tool that could not run at all leaves
// no file, and the shell's "not found" carries none of the error words:
// without this look the run would go on to remove rows that no export
// holds.  (An empty table may give the other products an empty file.)
int checkExportOutput(WorkFile ArchiveContext::*file) {
    const std::string& path = (archCtx.*file).path();
    off_t size = 0;
    const bool needsBytes = archCtx.database == Dialect::oracle;
    if (getFileSize(path.c_str(), size) != 0 || (needsBytes && size == 0)) {
        msgPrint(1535, programName, path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

void writeNoteInfoToDbLoadFile(const NoteViewRecord& note) {
    std::fprintf(archCtx.dbLoadNotes.fp(), "%d|%d|%s|%s|%s|\n", note.DEFECTID, note.USERID, note.ACTION,
                 note.ADDDATE, loadRemarks(note.REMARKS).c_str());
}

void writeVersionInfoToDbLoadFile(const VersionRecord& version) {
    std::fprintf(archCtx.dbLoadVers.fp(), "%d|%d|%d|%d|%d|%d|%d|%s|%s|%s|%d|\n", version.ID,
                 version.PREVIOUSID, version.SOURCEID, version.USERID, version.RAWLINES, version.CODELINES,
                 version.COMMENTLINES, loadRemarks(version.REMARKS).c_str(), version.CHANGEDATE, version.SID,
                 version.VERSIZE);
}

int addNotesLoadStmtToDbPopFile() {
    return addLoadStmt("\nload from \"$4/PELOarchive.notesData\" delimiter \"|\" insert into Notes;\n");
}

int addVersionsLoadStmtToDbPopFile() {
    return addLoadStmt("\nload from \"$4/PELOarchive.versionsData\" delimiter \"|\" insert into Versions;\n");
}

int analyzeErrors(std::string_view text) {
    for (std::string_view word : errorWords(archCtx.database))
        if (text.find(word) != std::string_view::npos)
            return 1;
    return 0;
}

int export_Notes_Versions() {
    std::vector<ExportRun> runs;
    if (exportRuns(runs) != 0)
        return 1;
    // Versions is exported only when Notes was.
    for (const ExportRun& run : runs)
        if (runExport(run) != 0 || checkExportOutput(run.output) != 0)
            return 1;
    if (!isDeviceArchive())
        return 0;
    for (const ExportRun& run : runs) {
        if (addCpioListEntry(run.output) != 0) {
            msgPrint(1458, archCtx.cpioFileList.path().c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace pelo
