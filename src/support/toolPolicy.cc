#include "support/toolPolicy.h"

#include <algorithm>

#include "support/msg.h"

namespace pelo {

namespace {

constexpr int msgEndedBadly = 1707;  // 0012-008

/// Text counts when any text does, else when it holds one of the words.
bool complains(std::string_view text, bool anyText, ToolWords words) {
    if (text.empty())
        return false;
    return anyText ||
           std::ranges::any_of(words, [&](std::string_view word) { return text.find(word) != text.npos; });
}

/// The complaints of the streams read, then the ending when they are silent.
Verdict judge(const CommandResult& result, bool readOutput, bool anyText, ToolWords words) {
    Verdict verdict;
    if (readOutput && complains(result.out, anyText, words))
        verdict.complaints.emplace_back(result.out);
    if (complains(result.err, anyText, words))
        verdict.complaints.emplace_back(result.err);
    if (!verdict.failed() && !result.ending.succeeded())
        verdict.complaints.push_back(endingText(result.ending, result.err));
    return verdict;
}

}  // namespace

Verdict copyVerdict(const CommandResult& result) { return judge(result, true, true, {}); }

Verdict listingVerdict(const CommandResult& result, ToolWords words) {
    return judge(result, false, words.empty(), words);
}

Verdict deletionVerdict(const CommandResult& result, ToolWords words) {
    return judge(result, true, words.empty(), words);
}

Verdict exportVerdict(const CommandResult& result, ToolWords words) { return judge(result, true, false, words); }

Verdict cpioVerdict(const Ending& ending, std::string_view runnerText) {
    Verdict verdict;
    if (!ending.succeeded())
        verdict.complaints.push_back(endingText(ending, runnerText));
    return verdict;
}

std::string endingText(const Ending& ending, std::string_view runnerText) {
    switch (ending.kind) {
    case Ending::Kind::exited: return msgGet(msgEndedBadly, ending.number);
    case Ending::Kind::signalled: return msgGet(msgEndedBadly, 128 + ending.number);
    case Ending::Kind::unknown: break;
    }
    return std::string(runnerText);
}

}  // namespace pelo
