// reload: runs an archive's populate script against a family database, as
// the restore side would, so the tests can compare what an archive says
// with what its family held.
//
//   reload --dialect=oracle|informix|sybase|dizoz --target=PATH_OR_URI
//          [--login=L] [--password=P] [--create-schema]
//          [--informixdir=DIR] ARCHIVE_DIR
//
// ARCHIVE_DIR holds PELOarchive.dbData and, by dialect, the Notes and
// Versions rows: PELOarchive.export (oracle), PELOarchive.notesData and
// PELOarchive.versionsData (sybase and dizoz: the export format of the
// stand-ins' tools; informix: the load files the script's load statements
// name).  The target is an SQLite file or a postgresql:// URI; --login and
// --password default to the database's own defaults.  --create-schema
// first fills an empty target with the family schema and the configurable
// columns named in ARCHIVE_DIR/configField (an SQLite file is made when
// missing).
//
// Oracle, Sybase and VQL scripts run statement by statement, each as
// written, and the export files' rows after them, all in one transaction:
// any failure commits nothing.  The Informix script runs through
// /bin/sh with the isql stand-in as the product's tool, from a scratch
// product home unless --informixdir names one; isql commits at each
// "commit work".  A failure prints the file, its line or statement and
// the reason on standard error and ends with status 1.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "archive/scriptReader.h"
#include "db/client.h"
#include "informix.h"
#include "script.h"
#include "target.h"

using namespace pelo::reload;
using pelo::Dialect;

namespace {

struct Options {
    Dialect dialect = Dialect::oracle;
    std::string dialectName, target, login, password, informixDir, archiveDir;
    bool createSchema = false;
};

constexpr const char* usage =
    "usage: reload --dialect=oracle|informix|sybase|dizoz --target=PATH_OR_URI\n"
    "              [--login=L] [--password=P] [--create-schema] [--informixdir=DIR] ARCHIVE_DIR\n";

bool takeValue(std::string_view arg, std::string_view name, std::string& value) {
    if (arg.size() <= name.size() || arg.substr(0, name.size()) != name || arg[name.size()] != '=')
        return false;
    value = std::string(arg.substr(name.size() + 1));
    return true;
}

/// Fills options from the command line; the reason in error when it fails.
bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--create-schema")
            o.createSchema = true;
        else if (!takeValue(arg, "--dialect", o.dialectName) && !takeValue(arg, "--target", o.target) &&
                 !takeValue(arg, "--login", o.login) && !takeValue(arg, "--password", o.password) &&
                 !takeValue(arg, "--informixdir", o.informixDir)) {
            if (arg.substr(0, 1) == "-" || !o.archiveDir.empty())
                return error = "unexpected argument " + std::string(arg), false;
            o.archiveDir = arg;
        }
    }
    o.dialect = pelo::dialectNamed(o.dialectName);
    if (o.dialect == Dialect::none)
        return error = "--dialect must be oracle, informix, sybase or dizoz", false;
    if (o.target.empty() || o.archiveDir.empty())
        return error = "--target and ARCHIVE_DIR are required", false;
    return true;
}

std::string readScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ReloadError("cannot open " + path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ReloadError("cannot read " + path);
    return text;
}

void reloadPlain(const Options& o, std::string_view script) {
    connectTarget(o.target, o.login, o.password, o.createSchema);
    if (o.createSchema)
        createFamilySchema(o.archiveDir);
    const long statements = runScript(script, o.dialect);
    const long rows = importExports(o.archiveDir, o.dialect);
    if (pelo::sqlCommit() < 0)
        throw ReloadError("commit: " + pelo::sqlca.sqlerrm);
    pelo::sqlRollbackRelease();
    std::printf("reload: %ld statements and %ld exported rows\n", statements, rows);
}

void reloadInformix(const Options& o, std::string_view script, const std::string& scriptPath) {
    if (const auto fault = pelo::checkInformixScript(script))
        scriptError(fault->line, fault->reason);
    if (o.createSchema) {
        // isql opens the database itself, so the schema is committed first.
        connectTarget(o.target, o.login, o.password, true);
        createFamilySchema(o.archiveDir);
        if (pelo::sqlCommit() < 0)
            throw ReloadError("commit: " + pelo::sqlca.sqlerrm);
        pelo::sqlRollbackRelease();
    }
    runInformixScript({scriptPath, o.archiveDir, o.target, o.login, o.password, o.informixDir});
    std::printf("reload: %s ran through isql\n", scriptName);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "reload: %s\n%s", error.c_str(), usage);
        return 1;
    }
    try {
        const std::string scriptPath = options.archiveDir + "/" + scriptName;
        const std::string script = readScript(scriptPath);
        if (options.dialect == Dialect::informix)
            reloadInformix(options, script, scriptPath);
        else
            reloadPlain(options, script);
    } catch (const ReloadError& failure) {
        if (pelo::sqlConnected())
            pelo::sqlRollbackRelease();
        std::fprintf(stderr, "reload: %s\n", failure.what());
        return 1;
    }
    return 0;
}
