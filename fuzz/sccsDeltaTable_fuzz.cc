// sccsDeltaSids over any bytes, against prs on the same bytes written to
// an s-file: wherever the reader gives a list, prs prints exactly that
// list and nothing on standard error.  Nearly every change a fuzzer makes
// breaks the checksum, which the reader declines straight away, so each
// input is tried a second time with its checksum made to fit: that takes
// the change on into the header.  prs runs only where the reader gives a
// list; a decline is always allowed.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzzSupport.h"
#include "support/commandLine.h"
#include "support/runner.h"
#include "vc/sccsDeltaTable.h"

namespace {

using pelo::fuzz::require;

/// The bytes with the five characters after a leading ^Ah replaced by
/// the sum of everything after the first line, as the SCCS tools sum it.
std::optional<std::string> withFittingChecksum(std::string_view bytes) {
    if (!bytes.starts_with("\001h") || bytes.size() < 8 || bytes[7] != '\n')
        return std::nullopt;
    unsigned sum = 0;
    for (const char byte : bytes.substr(8))
        sum += static_cast<unsigned>(static_cast<int>(byte));
    std::string fitted(bytes);
    fitted.replace(2, 5, std::to_string(100000 + (sum & 0xffffu)).substr(1));
    return fitted;
}

void check(const pelo::fuzz::ScratchDir& dir, std::string_view bytes) {
    const std::optional<std::vector<std::string>> sids = pelo::sccsDeltaSids(bytes);
    if (!sids)
        return;
    const std::string history = (dir / "s.history").string();
    pelo::fuzz::writeFile(history, bytes);
    std::vector<char> out(1 << 16), err(1 << 14);
    pelo::send_command(pelo::CommandLine().quoted(PELO_CSSC_DIR "/prs").text(" -e -d:I:").arg(history), out.data(),
                       out.size(), err.data(), err.size());
    require(err[0] == '\0', "prs says nothing on standard error where the reader gives a list");
    std::string lines;
    for (const std::string& sid : *sids)
        lines += sid + "\n";
    require(lines == out.data(), "the reader's list is the one prs prints");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const pelo::fuzz::ScratchDir dir("sccsDeltaTable");
    const std::string_view bytes = pelo::fuzz::text(data, size);
    check(dir, bytes);
    if (const std::optional<std::string> fitted = withFittingChecksum(bytes); fitted && *fitted != bytes)
        check(dir, *fitted);
    return 0;
}
