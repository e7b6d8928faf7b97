#include "vc/vcLog.h"

namespace pelo {

namespace {

std::string wordAt(const std::string& text, std::size_t at) {
    const std::size_t end = text.find_first_of(" \t\n\v\f\r", at);
    return text.substr(at, end == text.npos ? text.npos : end - at);
}

}  // namespace

std::vector<std::string> prsSidLines(std::string_view output) {
    std::vector<std::string> sids;
    for (std::size_t end = output.find('\n'), start = 0; end != output.npos;
         start = end + 1, end = output.find('\n', start)) {
        const std::string_view line = output.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(" \t\r\f\v");
        if (first == line.npos)
            continue;
        sids.emplace_back(line.substr(first, line.find_first_of(" \t\r\f\v", first) - first));
    }
    return sids;
}

int walkVlogRevisions(std::string& text, const std::function<int(const std::string& revision)>& handle) {
    for (std::size_t entry = text.find("Rev 1."); entry != text.npos; entry = text.find("Rev 1.")) {
        std::size_t revisionAt = entry + 4;
        const std::string base = wordAt(text, revisionAt);
        const std::string branchLine = "Branches:  " + base + ".1";
        std::size_t lastBranch = text.npos;
        for (std::size_t at = text.find(branchLine, revisionAt + 1); at != text.npos; at = text.find(branchLine, at + 1))
            lastBranch = at;
        std::size_t branchAt = text.npos;
        if (lastBranch != text.npos) {
            branchAt = text.find("1.", lastBranch);
            const std::size_t next = text.find("Rev 1.", lastBranch);
            if (next == text.npos)
                break;  // a branch named with no revision after it: nothing more to walk
            revisionAt = next + 4;
        }
        const std::string revision = wordAt(text, revisionAt);
        if (handle(revision) != 0)
            return 1;
        if (branchAt != text.npos && revision.ends_with('0'))
            text.replace(branchAt, 2, "XX");
        text.replace(revisionAt, 2, "XX");
    }
    return 0;
}

std::vector<std::string> vlogRevisions(std::string_view log) {
    std::vector<std::string> revisions;
    for (std::size_t at = log.find("Rev "); at != log.npos; at = log.find("Rev ", at + 4))
        if (at == 0 || log[at - 1] == '\n') {
            const std::size_t end = log.find_first_of(" \t\n", at + 4);
            revisions.emplace_back(log.substr(at + 4, end == log.npos ? log.npos : end - at - 4));
        }
    return revisions;
}

}  // namespace pelo
