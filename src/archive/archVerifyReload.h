// --verify's reload check: the populate script and the dialect's export or
// load files, loaded into a scratch SQLite database, against the row copy,
// table by table (see archVerify.h for its problem lines).
//
// The script is never run by a shell or a tool.  Its statements are read
// with scriptReader (an Informix here-document's after the check the
// restore side needs) and run on the scratch database through the client
// layer, inserts only; every other statement is a problem and is not run.
// Files, the load files the Informix load statements name included, are
// read from below the archive's root only, through no link.
//
// The script differs from the copy by design, and each difference is
// brought to the script's form before rows are compared:
//   - ' ` & ; are blanks in Releases, Components and Config descriptions,
//     Defects abstracts, Sizes sizings and Users names;
//   - configurable columns switched off or past the twentieth are not
//     written, and a Defects row has blanks in the fields its kind (defect
//     or feature) does not enable;
//   - user 1 is written under the general sequence's next value (Users and
//     Hosts), which the general Sequence row then holds; only the general,
//     defect and source Sequence rows are written, source's value not
//     being the family's;
//   - a host's address is 0;
//   - component 2, the family's root, is not written;
//   - a release archive writes each file's current path and version as
//     its own; a level archive those of its archived changes, with their
//     base name (Files' path, version and base name are then not compared);
//   - the Informix load files write a '|' of the remarks as '!';
//   - the Oracle, Sybase and VQL tools export the whole Notes and Versions
//     tables: rows the copy lacks there are no difference.
// An empty text and NULL are the same; integers compare as their digits.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "archive/archManifest.h"

struct sqlite3;

namespace pelo {

/// An archive as the manifest's check left it.
struct CheckedArchive {
    int rootFd;                           ///< the root, open
    const std::string& root;
    const ManifestRead& manifest;         ///< the files it names
    const std::set<std::string>& intact;  ///< those whose size and SHA-256 held
};

/// Opens the SQLite file at path read-only and immutable: nothing, not
/// even a journal, is written beside it.  The handle, which the caller
/// closes even after a failure, and a failure's reason in error.
sqlite3* openImmutable(const std::string& path, std::string& error);

/// One problem line's subject and text.
using ProblemSink = std::function<void(const std::string& subject, const std::string& what)>;

/// Loads the archive into scratchDir/reload.db and compares it with the
/// row copy; the information file names the database product and the kind
/// of archive.  Reads only the files the manifest names and found intact.
/// Does nothing when the script, the copy or the information file is
/// missing, or a file it reads is not intact (their own lines say so), and
/// stops between tables once stopped() is true.
void checkReload(const CheckedArchive& archive, const std::string& scratchDir, const ProblemSink& problem,
                 const std::function<bool()>& stopped);

}  // namespace pelo
