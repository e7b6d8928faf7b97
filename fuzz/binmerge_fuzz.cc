// binmerge over any base and any difference.  The input is a base length
// (two bytes, host order), that many base bytes, and the difference.
// binmerge must agree with the record format of binmerge.h on whether and
// what it builds (0, or 6 for a difference it refuses), and leave nothing in
// the directory but the base, the difference and, after success only, the
// output.
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "fuzzSupport.h"
#include "vc/binmerge.h"

namespace {

using pelo::fuzz::require;

template <class T>
bool take(std::string_view& bytes, T& value) {
    if (bytes.size() < sizeof value)
        return false;
    std::memcpy(&value, bytes.data(), sizeof value);
    bytes.remove_prefix(sizeof value);
    return true;
}

// The version the difference gives from the base, read from the format as
// the header describes it; nothing for a truncated or inconsistent one.
std::optional<std::string> merged(std::string_view base, std::string_view diff) {
    std::string out;
    std::size_t at = 0;  // base bytes used or skipped; may pass the end
    while (!diff.empty()) {
        pelo::DiffRecord r;
        if (!take(diff, r.offset) || !take(diff, r.length) || !take(diff, r.kind) ||
            (r.kind == pelo::diffReplace && !take(diff, r.skip)))
            return std::nullopt;
        if (r.offset < 0 || std::size_t(r.offset) < out.size() || r.length < 0 || r.skip < 0)
            return std::nullopt;
        const std::size_t gap = std::size_t(r.offset) - out.size();
        if (gap > 0 && (at > base.size() || gap > base.size() - at))
            return std::nullopt;
        if (gap > 0)
            out.append(base.substr(at, gap));
        at += gap + std::size_t(r.kind == pelo::diffSkip ? r.length : r.skip);
        if (r.kind == pelo::diffSkip)
            continue;
        if (diff.size() < std::size_t(r.length))
            return std::nullopt;
        out.append(diff.substr(0, std::size_t(r.length)));
        diff.remove_prefix(std::size_t(r.length));
    }
    if (at > base.size())
        return std::nullopt;
    return out.append(base.substr(at));
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = pelo::fuzz::text(data, size);
    std::uint16_t baseLength = 0;
    take(input, baseLength);
    const std::string_view base = input.substr(0, baseLength);
    const std::string_view diff = input.substr(base.size());

    static const pelo::fuzz::ScratchDir dir("binmerge");
    const std::filesystem::path basePath = dir / "1.3", diffPath = dir / "1.3d", outPath = dir / "1.2";
    std::filesystem::remove(outPath);
    pelo::fuzz::writeFile(basePath, base);
    pelo::fuzz::writeFile(diffPath, diff);

    const int result = pelo::binmerge(basePath.c_str(), outPath.c_str(), diffPath.c_str());
    const std::optional<std::string> expected = merged(base, diff);
    require(result == (expected ? 0 : 6), "binmerge builds exactly the consistent differences");
    std::set<std::string> left = {"1.3", "1.3d"};
    if (result == 0)
        left.insert("1.2");
    require(pelo::fuzz::entries(dir.path()) == left, "only base, difference and a successful output remain");
    if (result == 0)
        require(contents(outPath) == *expected, "the output is the base with the records applied");
    return 0;
}
