// walkVlogRevisions over any log.  The first input byte is the call whose
// handler answers non-zero (0: none does); the rest is the log.  The walk
// must end, call the handler at most once per "Rev 1." of the log, hand
// over words that start with "1.", and stop with 1 exactly at that call.
#include <string>
#include <string_view>

#include "fuzzSupport.h"
#include "vc/vcLog.h"

using pelo::fuzz::require;

namespace {

std::size_t occurrences(std::string_view text, std::string_view word) {
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != text.npos; at = text.find(word, at + word.size()))
        ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t stopAt = data[0];
    std::string log(pelo::fuzz::text(data + 1, size - 1));
    const std::size_t entries = occurrences(log, "Rev 1.");
    std::size_t calls = 0;
    const int result = pelo::walkVlogRevisions(log, [&](const std::string& revision) {
        ++calls;
        // Checked at once: a walk that never ends shows here first.
        require(calls <= entries, "at most one call per \"Rev 1.\"");
        require(stopAt == 0 || calls <= stopAt, "no call after one that answered non-zero");
        require(revision.starts_with("1."), "a revision starts with \"1.\"");
        require(revision.find_first_of(" \t\n\v\f\r") == std::string::npos, "a revision is a word");
        return calls == stopAt ? 1 : 0;
    });
    require(result == (stopAt != 0 && calls == stopAt ? 1 : 0), "the walk stops with 1 exactly at that call");
    return 0;
}
