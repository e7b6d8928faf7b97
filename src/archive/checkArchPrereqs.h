// The archive prerequisite checks: whether the family allows the archive
// the dialog asked for, and, when it does, which releases, levels and
// tracks the rest of the run archives.
//
// The checks read levelName, relNameList, vctype and familyName from the
// archive context and fill releaseIdList, levelIdList, trackIdList and
// trackIdHoldList.  They print one progress line on standard output:
// "  Working .", a dot per step or row, and ".. complete.\n" at its end,
// which a failing rule prints right before its message.  Checking stops at
// the first rule that fails.  A database error ends the run through
// dbFatalError; a termination signal is honoured between rows.
//
// The names of relNameList and levelName, and the name of every release
// and level that goes to the lists, name level maps (maps/RELEASE/LEVEL):
// one that is empty, "." or "..", or holds a "/", is refused (0012-002)
// before any database rule that would take it.
#pragma once

#include "archive/phases.h"

namespace pelo {

// checkArchivePrereqs() (phases.h) is the entry point: it empties the four
// lists, starts the progress line, requires the Users row 0 (0010-909) and
// runs the level or the release checks below, then ends the line.  On
// failure the four lists are emptied again.  relNameList is emptied in
// either case: nothing after the checks reads it.

/// The rules of a level archive: the levels of the one release in
/// relNameList committed up to and including levelName, with their tracks
/// and the tracks committed without a level.  0 with the lists filled; 1
/// after the progress line was ended and the failing rule's message
/// printed.  Prints the dots of its steps, neither the start nor, on
/// success, the end of the line.
int checkLevelArchivePrereqs();

/// The rules of a release archive, for each release of relNameList in list
/// order: every level and track of each goes to the lists.  Results and
/// output as for checkLevelArchivePrereqs.
int checkReleaseArchivePrereqs();

}  // namespace pelo
