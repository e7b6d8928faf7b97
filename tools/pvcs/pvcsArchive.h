// The archive format of the PVCS stand-in.  One archive holds every
// revision of one work file as a full copy, so any revision can be read or
// deleted on its own:
//
//   PVCS-STANDIN-ARCHIVE 1
//   workfile <name>
//   revision <number>          one block per revision, in any order
//   author <login>
//   date <date text>
//   comment <text, "\n" written as "\\n" and "\\" as "\\\\">
//   data <byte count>
//   <that many bytes>
//   end
//
// Revision numbers are dotted: the trunk is major.minor (1.0, 1.1, ...,
// 2.0); a branch from revision X is X.b and its revisions X.b.0, X.b.1, ...
#pragma once

#include <string>
#include <vector>

namespace pelo::pvcs {

struct Revision {
    std::string number;   ///< "1.3", "1.2.1.0"
    std::string author;
    std::string date;
    std::string comment;
    std::string data;     ///< the work file's bytes at this revision
};

/// One archive held in memory.
struct Archive {
    std::string workfile;
    std::vector<Revision> revisions;

    /// The revision with that number, or null.
    const Revision* find(const std::string& number) const;
};

/// Reads the archive at path.  0, or 1 with the reason in error.
int loadArchive(const std::string& path, Archive& archive, std::string& error);

/// Writes the archive to path through a temporary file renamed over it.
/// 0, or 1 with the reason in error.
int saveArchive(const std::string& path, const Archive& archive, std::string& error);

/// Adds a revision.  1 with the reason in error when the number is
/// malformed or already present, when a branch revision's base revision
/// is missing, else 0.
int addRevision(Archive& archive, Revision revision, std::string& error);

/// Removes a revision.  1 with the reason in error when there is no such
/// revision or when branches still start from it, else 0.
int deleteRevision(Archive& archive, const std::string& number, std::string& error);

/// The log of the archive as vlog prints it: a head, then one entry per
/// revision opened by "Rev " and the number.  Trunk revisions come newest
/// first; right after a revision that has branches come its branches'
/// revisions, each branch newest first, and its entry names the branches
/// on a line "Branches:  " followed by the branch numbers.
std::string formatLog(const std::string& path, const Archive& archive);

/// The dotted number split into its fields; empty when any field is not a
/// decimal number or the count of fields is odd.
std::vector<int> parseRevisionNumber(const std::string& number);

}  // namespace pelo::pvcs
