// The archive's manifest, PELOarchive.manifest, and the read-back that
// stands between an archive and the removal of what it holds.
//
// The manifest is a work file of the archive directory (of the working
// directory of a device archive), written once the last file it names is
// complete: in a file-system archive after the information file's counts,
// from a walk of the archive directory; in a device archive once the cpio
// list is finished, from the list's names (the list names the manifest
// just before the information file, and itself last).  It names every file
// of the archive but itself and PELOarchive.info, which is finished after
// it.  Its lines are the ones "sha256sum -c PELOarchive.manifest", run in
// the archive's root, checks, in path order; everything else is a comment
// line, which sha256sum skips:
//
//   # header lines, which say what follows
//   HEX64  PATH                one per file, as sha256sum writes it
//   # size BYTES PATH          one per file
//   # keeps PATH SID SID ...   one per history trimmed in the archive
//
// PATH is the path below the archive's root: in a device archive the name
// the cpio list gives, less its leading "./" or "/", which is where
// "cpio -i -d --no-absolute-filenames" puts the file.  A PATH holding a
// backslash or a new-line is escaped as sha256sum escapes it: each
// backslash written "\\", each new-line "\n", and the file line then
// starts with a backslash.  In the comment lines PATH is always escaped the
// same way, with no leading backslash, so a reader undoes the escapes of
// every PATH of a comment line.  The keeps lines name histories only,
// whose paths (vc/ and the source's digits) hold no blank; their SIDs or
// revisions, every one the trimmed copy still has, come in the order its
// tool lists them (prs, vlog), newest first.  A device
// archive carries its histories whole, with the deltas a restore drops in
// PELOarchive.VCcleanup, so its manifest has no keeps line.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/context.h"

namespace pelo {

/// The path as the manifest's lines write it: backslashes and new-lines
/// escaped ("\\", "\n"), everything else as it is.
std::string manifestPath(std::string_view path);

/// The path a manifest line writes, its escapes undone: "\\\\" a backslash,
/// "\\n" a new-line.  Empty when an escape is not one of these.
std::optional<std::string> manifestUnescape(std::string_view written);

/// A manifest read back: each file with its digest and size (a size of -1
/// when no size line names it, an empty digest when no file line does),
/// the kept deltas of each history, and the lines not understood, each
/// as "line N".
struct ManifestRead {
    std::map<std::string, FileDigest> files;
    std::map<std::string, std::vector<std::string>> kept;
    std::vector<std::string> unreadLines;
};

/// Reads a manifest's text, as manifestText writes it; comment lines of
/// any other kind are skipped, as sha256sum skips them.
ManifestRead readManifestText(std::string_view text);

/// The whole manifest for the files (in the order given) and the kept
/// deltas of the trimmed histories; device chooses the header's words on
/// the histories.
std::string manifestText(std::span<const ManifestFile> files,
                         const std::map<std::string, std::vector<std::string>>& kept, bool device);

/// Writes the manifest of the archive (phase): digests every file the
/// archive holds, records them in manifestFiles and writes the manifest
/// work file, which it closes.  0, or 1 after the message: 0012-014 for a
/// file that cannot be read, 0010-982, 0010-979 or 0010-980 for the
/// manifest itself.
int writeManifest();

/// What the read-back before removal found.
enum class ReadBack {
    verified,  ///< every file of the manifest reads back as it was written
    unread,    ///< the device cannot be read, and the user chose removal all the same
    declined,  ///< the device cannot be read, and the user chose no removal
    differs,   ///< something differs, or cpio could not read the medium
};

/// Reads the archive back and compares it with manifestFiles.  A
/// file-system archive is read from its directory, each file dropped from
/// memory first so that its medium is read; a device archive is extracted
/// with cpio into a scratch directory of the working directory, compared
/// and the scratch directory removed.  Each difference prints its message
/// (0012-014 a file that cannot be read back, 0012-015 one that reads back
/// otherwise), then 0012-016; a cpio that fails prints 0012-005 with its
/// status.  A device that does not rewind, or that cannot be opened for
/// reading, prints 0012-017 with its question.  No removal follows
/// differs or declined.
ReadBack readBackArchive();

/// Removes the scratch directory of a device's read-back, if there is
/// one; for the clean-up.
void removeReadBackCopy();

}  // namespace pelo
