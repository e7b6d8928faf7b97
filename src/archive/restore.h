// peloarchive --restore PATH [--dry-run]: puts back into the family what
// the removal of an archive took.
//
// The archive is a directory, or a file or device holding a cpio archive,
// which is read into a scratch directory below the family home, removed at
// the end.  It must verify as --verify verifies it.  Then the rows of its
// row copy are compared with the family (restoreRows.h), and its level maps
// and, for a release archive, the histories of the sources whose versions
// come back, with the family's files: a file the family lacks is put back,
// one it holds with the same bytes is left, one it holds with other bytes
// is a conflict.  A history the family still has of a source it kept is
// left as it is.  Every conflict is named, one line each, and then nothing
// at all is changed.
//
// Otherwise the files are put back, each written to a temporary name in
// its directory and renamed to its own, then the rows, in the one
// transaction, which is committed last.  Until that commit every file and
// directory put back is removed again by the clean-up, so a restore that
// fails or is stopped leaves the family as it was.  With --dry-run the
// comparison alone runs and its counts are printed.
#pragma once

#include <string>

namespace pelo {

/// The directory holding the archive at path (a medium is read into a
/// scratch directory below the family home), verified; once the run holds
/// the archive semaphore and has its environment, before it connects to
/// the family's database, which the verification's reload of the populate
/// script must not find open.  A medium that cannot be read, or an
/// archive that does not verify, ends the run through the clean-up with
/// notVerified.
std::string verifyForRestore(const std::string& path);

/// The restore of the verified archive in root (path as the user named
/// it) into the family of the run, once connected to the family's
/// database.  0 when everything was put back (or, with dryRun, counted).
/// Every failure ends the run through the clean-up: with notReady after
/// conflicts, failed otherwise.
int restoreArchive(const std::string& root, const std::string& path, bool dryRun);

}  // namespace pelo
