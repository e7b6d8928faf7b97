#include "vc/binaryVersion.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/msg.h"
#include "support/util.h"
#include "vc/binmerge.h"

namespace pelo {
namespace {

/// Place of the last "." of the SID at the end of text (a bare SID or a
/// path whose last component is one), or npos: a "." of a directory name
/// such as "b.34" does not count.
std::size_t lastDot(const std::string& text) {
    auto dot = text.rfind('.');
    auto slash = text.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string::npos;
    return dot;
}

/// The number after the last "." of the SID, or 0 when there is none.
long lastNumber(const std::string& sid) {
    auto dot = lastDot(sid);
    return dot == std::string::npos ? 0 : std::strtol(sid.c_str() + dot + 1, nullptr, 10);
}

void setLastNumber(std::string& sid, long number) {
    auto dot = lastDot(sid);
    if (dot != std::string::npos)
        sid.replace(dot + 1, std::string::npos, std::to_string(number));
}

void report(std::string* messages, int number, const char* first, const char* second = nullptr) {
    if (messages)
        msgLoad(*messages, number, first, second);
}

/// Appends the explanation of a failed merge of base with difference.
void reportMergeFailure(std::string* messages, int code, const std::string& base,
                        const std::string& temporary, const std::string& difference) {
    switch (code) {
    case 1: report(messages, 1671, ""); break;
    case 2: report(messages, 1672, ""); break;
    case 3: report(messages, 1673, base.c_str()); break;
    case 4: report(messages, 1673, temporary.c_str()); break;
    case 5: report(messages, 1673, difference.c_str()); break;
    default: report(messages, 1674, difference.c_str()); break;
    }
    report(messages, 1635, base.c_str(), difference.c_str());
}

/// Puts the merged version in its place.  A rename that fails leaves the
/// version unbuilt, which is reported as a merge that could not write.
bool renamed(const std::string& temporary, const std::string& target,
             const std::string& difference, std::string* messages) {
    if (std::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    unlink(temporary.c_str());
    reportMergeFailure(messages, 2, target, temporary, difference);
    return false;
}

/// Applies the differences from the full copy found down to the requested
/// version, leaving it as a full copy in the directory.
int rebuildInPlace(const std::string& path, std::string found, std::string* messages) {
    std::string temporary;
    getTempName(path, temporary);
    std::string current = found;
    while (current != path) {
        std::string difference = current + "d";
        if (int code = binmerge(current.c_str(), temporary.c_str(), difference.c_str())) {
            reportMergeFailure(messages, code, current, temporary, difference);
            return -1;
        }
        if (current != found)
            unlink(current.c_str());
        vcCalcPreviousVer(current);
        if (!renamed(temporary, current, difference, messages))
            return -1;
    }
    return 0;
}

/// Applies the differences to a copy of the full copy at the output path.
int rebuildToOutput(const std::string& path, std::string current, const char* output,
                    std::string* messages) {
    if (vcCopy(current.c_str(), output) != 0) {
        report(messages, 1673, output);
        report(messages, 1635, current.c_str(), (current + "d").c_str());
        return -1;
    }
    std::string temporary;
    getTempName(output, temporary);
    while (current != path) {
        std::string difference = current + "d";
        if (int code = binmerge(output, temporary.c_str(), difference.c_str())) {
            reportMergeFailure(messages, code, output, temporary, difference);
            return -1;
        }
        if (!renamed(temporary, output, difference, messages))
            return -1;
        vcCalcPreviousVer(current);
    }
    return 0;
}

}  // namespace

void vcCalcPreviousVer(std::string& sid) { setLastNumber(sid, lastNumber(sid) - 1); }

void vcCalcNextVer(std::string& sid) { setLastNumber(sid, lastNumber(sid) + 1); }

int vcCopy(const char* source, const char* target) {
    int in = open(source, O_RDONLY);
    if (in < 0)
        return 1;
    int out = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        close(in);
        return 1;
    }
    char block[1024];
    ssize_t got;
    int result = 0;
    while ((got = read(in, block, sizeof block)) > 0)
        if (write(out, block, std::size_t(got)) != got) {
            result = 1;
            break;
        }
    if (got < 0 || close(out) != 0)
        result = 1;
    close(in);
    if (result != 0)
        unlink(target);
    return result;
}

int vcGetSCCSBinaryFile(const std::string& path, const char* outputPath, std::string* messages) {
    long number = lastNumber(path);
    if (number == 0) {
        report(messages, 1634, path.c_str());
        return -1;
    }
    std::string found = path;
    while (!fileIsThere(found.c_str()) && number <= 9999)
        setLastNumber(found, ++number);
    if (number > 9999) {
        report(messages, 1634, path.c_str());
        return -1;
    }
    if (found == path && !outputPath)
        return 1;
    int result = outputPath ? rebuildToOutput(path, found, outputPath, messages)
                            : rebuildInPlace(path, found, messages);
    if (result < 0)
        return -1;
    return found == path ? 1 : 0;
}

}  // namespace pelo
