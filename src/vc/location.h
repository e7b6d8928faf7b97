// Where a file's version-control history lives below the family's vc/
// directory, and what kind of history it is.
#pragma once

namespace pelo {

/// File type numbers of the family: the TYPE text of a Files row maps to
/// one of these ("text" 0, "long" 5, "special" 6, "longSp" 7, anything else
/// binary: 2 under PVCS, 1 under SCCS).
enum VcFileType : int {
    vcText = 0,
    vcSCCSBinary = 1,
    vcPVCSBinary = 2,
    vcLong = 5,
    vcSpecial = 6,
    vcLongSpecial = 7,
};

/// Name prefix of a history by file type 0 to 7: "s." for a single history
/// file (an SCCS file or a PVCS archive), "b." for a binary directory.
extern const char* const vcPrefix[8];

/// 1 when histories of the file type are binary directories (types 1, 5
/// and 7: an "s.binary" delta tree plus full copies and reverse
/// differences), else 0.
int vcIsBinaryDirectory(int fileType);

/// The history's place below vc/: the source id printed with at least six
/// digits, its first four digits as four directories, then the type's
/// prefix and the remaining digits (1234, text: "0/0/1/2/s.34").  The
/// result lives in one static buffer that the next call overwrites.  A
/// type outside 0 to 7 is taken as text.
const char* vcLocation(long sourceId, int fileType);

}  // namespace pelo
