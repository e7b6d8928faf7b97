// What a finished run of an outside tool means.  Each kind of tool the
// archive runs has one policy, which turns the runner's result into the
// complaints its caller reports, one message each.  The tools' own words
// and streams decide first, as the family's tools are known to report;
// a tool they find silent that did not end with status 0 has failed all
// the same, and then the way it ended is the complaint.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/runner.h"

namespace pelo {

/// A caller's reading of one run: the text for each message it prints, in
/// the order printed; none when the tool did its work.
struct Verdict {
    std::vector<std::string> complaints;

    bool failed() const { return !complaints.empty(); }
};

/// Words that mark a tool's text as a complaint.
using ToolWords = std::span<const std::string_view>;

/// cp: any text on standard output, then on standard error, is a complaint.
Verdict copyVerdict(const CommandResult& result);

/// A tool run for what it lists or finds (prs, vlog, ls, cd): standard
/// output is the listing and never a complaint; standard error is one
/// when it holds text, or, where words are given, one of them.
Verdict listingVerdict(const CommandResult& result, ToolWords words = {});

/// rm, rmdir, rmdel, vdel: each stream, standard output first, is a
/// complaint when it holds text, or, where words are given, one of them.
Verdict deletionVerdict(const CommandResult& result, ToolWords words = {});

/// A database product's export tool: each stream, standard output first,
/// that holds one of the product's words.  With no words (a product that
/// has no export tool) nothing the tool prints is a complaint.
Verdict exportVerdict(const CommandResult& result, ToolWords words);

/// cpio, run on the user's terminal: its report is there for the user to
/// read, so only its ending counts.  runnerText is what the runner wrote
/// to the error buffer.
Verdict cpioVerdict(const Ending& ending, std::string_view runnerText);

/// The complaint of a failed ending: "exit status N" (message 1707), a
/// signal N counting as status 128 + N, which is how the shell reports a
/// tool it ran; the runner's own text when the ending is unknown.
std::string endingText(const Ending& ending, std::string_view runnerText);

}  // namespace pelo
