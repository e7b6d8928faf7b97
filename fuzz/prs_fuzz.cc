// prsSidLines over any text a prs could print: every SID it gives is a
// word, and no line gives more than one.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fuzzSupport.h"
#include "vc/vcLog.h"

using pelo::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view output = pelo::fuzz::text(data, size);
    const std::vector<std::string> sids = pelo::prsSidLines(output);
    const auto lines = static_cast<std::size_t>(std::ranges::count(output, '\n'));
    require(sids.size() <= lines, "at most one SID per new-line");
    for (const std::string& sid : sids) {
        require(!sid.empty(), "no SID is empty");
        require(sid.find_first_of(" \t\n\v\f\r") == std::string::npos, "no SID holds white space");
        require(output.find(sid) != std::string_view::npos, "a SID is text of the output");
    }
    return 0;
}
