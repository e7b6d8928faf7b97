#include "archive/archManifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "archive/archUtil.h"
#include "archive/getArchOpts.h"
#include "archive/peloarchive.h"
#include "support/commandLine.h"
#include "support/msg.h"
#include "support/runner.h"
#include "support/toolPolicy.h"
#include "support/util.h"

namespace pelo {

namespace {

namespace fs = std::filesystem;
using C = ArchiveContext;

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            close(fd);
    }
};

/// A file to name in the manifest: its path below the archive's root and
/// where it is read now.
struct Source {
    std::string path;
    std::string readFrom;  // below the root (belowRoot) or an absolute path
};

// ---- what the archive holds -----------------------------------------------------

/// The work files in the archive directory that the manifest does not name.
bool unnamedWorkFile(const std::string& relative) {
    return relative == workFileName(&C::manifest) || relative == workFileName(&C::archInfo);
}

/// Every regular file below the file-system archive's directory, by its
/// path there; nothing after 0012-014 when a directory cannot be read.
std::optional<std::vector<Source>> filesInDirectory(const std::string& root) {
    std::vector<Source> files;
    std::error_code error;
    fs::recursive_directory_iterator walk(root, error), end;
    for (; !error && walk != end; walk.increment(error)) {
        if (walk->symlink_status(error).type() != fs::file_type::regular)
            continue;
        std::string relative = walk->path().lexically_relative(root).string();
        if (!unnamedWorkFile(relative))
            files.push_back({relative, relative});
    }
    if (error) {
        msgPrint(1713, root.c_str(), error.message().c_str());
        return std::nullopt;
    }
    return files;
}

/// The name cpio gives a file of the list on the medium: the list's name
/// less a leading "./" or "/", as "cpio -i --no-absolute-filenames" makes it.
std::string memberPath(std::string_view name) {
    for (;;) {
        if (name.starts_with("./"))
            name.remove_prefix(2);
        else if (name.starts_with('/'))
            name.remove_prefix(1);
        else
            return std::string(name);
    }
}

std::string withoutNewline(std::string line) {
    if (line.ends_with('\n'))
        line.pop_back();
    return line;
}

/// Every file of the finished cpio list, read where cpio reads it: an
/// absolute name as it stands, a relative one in the family home.
std::optional<std::vector<Source>> filesOfCpioList() {
    const std::string& listPath = archCtx.cpioFileList.path();
    std::ifstream list(listPath);
    if (!list) {
        msgPrint(1713, listPath.c_str(), systemErrorText());
        return std::nullopt;
    }
    const std::string manifestLine = withoutNewline(cpioListLine(&C::manifest));
    const std::string infoLine = withoutNewline(cpioListLine(&C::archInfo));
    std::vector<Source> files;
    for (std::string name; std::getline(list, name);) {
        if (name.empty() || name == manifestLine || name == infoLine)
            continue;
        files.push_back({memberPath(name), name.starts_with('/') ? name : archCtx.familyHomeDir + "/" + name});
    }
    return files;
}

// ---- the manifest -----------------------------------------------------------------

/// Flushes the work files still open, so that what their streams hold is
/// in what is digested.
int flushWorkFiles() {
    for (const WorkFileEntry& entry : workFileTable()) {
        WorkFile& file = archCtx.*entry.file;
        if (file.fp() != nullptr && std::fflush(file.fp()) != 0) {
            msgPrint(1435, programName, file.path().c_str());
            return 1;
        }
    }
    return 0;
}

/// Digests the sources into manifestFiles, in path order.  1 after
/// 0012-014 naming a file that cannot be read.
int digestSources(std::vector<Source> sources, int rootFd, unsigned flags) {
    std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.path < b.path; });
    sources.erase(std::unique(sources.begin(), sources.end(),
                              [](const Source& a, const Source& b) { return a.path == b.path; }),
                  sources.end());
    std::vector<ManifestFile>& files = archCtx.manifestFiles;
    files.clear();
    files.reserve(sources.size());
    for (const Source& source : sources) {
        ManifestFile file{source.path, {}};
        if (const int error = digestFile(rootFd, source.readFrom, flags, file.content); error != 0) {
            msgPrint(1713, source.readFrom.c_str(), std::strerror(error));
            return 1;
        }
        files.push_back(std::move(file));
        sigCheck();
    }
    return 0;
}

int writeManifestFile() {
    WorkFile& manifest = archCtx.manifest;
    const std::string text = manifestText(archCtx.manifestFiles, archCtx.keptDeltas, isDeviceArchive());
    if (manifest.fp() == nullptr || std::fputs(text.c_str(), manifest.fp()) < 0) {
        msgPrint(1458, manifest.path().c_str());
        return 1;
    }
    return closeReported(manifest);
}

// ---- the read-back ----------------------------------------------------------------

/// Compares every file of the manifest with what the root holds now; the
/// number of files that differ, each reported.  shownAs goes before a
/// path in the messages.
int countDifferences(const std::string& root, const std::string& shownAs, unsigned flags) {
    const Descriptor rootDir{open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    const int openError = rootDir.fd < 0 ? errno : 0;
    const std::vector<ManifestFile>& files = archCtx.manifestFiles;
    // A batch of files is opened and asked for at once, before the batch
    // ahead of it is read, so that the reads from the medium overlap; two
    // readers hash each batch.  The differences are told in the manifest's
    // order, and a signal is honoured between batches.
    constexpr std::size_t batch = 64;
    struct Reread {
        int fd = -1;
        int error = 0;
        FileDigest now;
    };
    std::vector<Reread> rereads(2 * batch);
    const auto ask = [&](std::size_t first) {
        for (std::size_t i = first; i < std::min(first + batch, files.size()); ++i) {
            Reread& r = rereads[i % (2 * batch)];
            r.fd = openError != 0 ? -1 : openToDigest(rootDir.fd, files[i].path, digestBelowOnly | flags);
            r.error = openError != 0 ? openError : r.fd < 0 ? errno : 0;
        }
    };
    int differences = 0;
    ask(0);
    for (std::size_t first = 0; first < files.size(); first += batch) {
        const std::size_t count = std::min(batch, files.size() - first);
        ask(first + batch);
        std::atomic<std::size_t> next = 0;
        const auto reread = [&] {
            for (std::size_t i = next++; i < count; i = next++) {
                Reread& r = rereads[(first + i) % (2 * batch)];
                if (r.fd >= 0) {
                    r.error = digestOpened(r.fd, r.now);
                    close(r.fd);
                }
            }
        };
        {
            const std::jthread second(reread);
            reread();
        }
        sigCheck();
        for (std::size_t i = 0; i < count; ++i) {
            const ManifestFile& file = files[first + i];
            const std::string shown = shownAs + file.path;
            const Reread& r = rereads[(first + i) % (2 * batch)];
            const FileDigest& now = r.now;
            if (r.error != 0) {
                msgPrint(1713, shown.c_str(), std::strerror(r.error));
                ++differences;
            } else if (now != file.content) {
                msgPrint(1714, shown.c_str(), std::to_string(file.content.size).c_str(), file.content.sha256.c_str(),
                         std::to_string(now.size).c_str(), now.sha256.c_str());
                ++differences;
            }
        }
    }
    return differences;
}

ReadBack judged(int differences, const std::string& archive) {
    if (differences == 0)
        return ReadBack::verified;
    msgPrint(1715, archive.c_str());
    return ReadBack::differs;
}

/// Empty when the device can be read back from its start; else why not.
/// A device whose name says it does not rewind is left where cpio left
/// it, past the archive, so reading it would find nothing.
std::string deviceUnreadable(const std::string& device) {
    if (device.find("/dev/nr") != std::string::npos)
        return std::strerror(ESPIPE);
    const Descriptor opened{open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    return opened.fd < 0 ? std::strerror(errno) : "";
}

/// Makes the scratch directory in the working directory; empty, or why not.
std::string makeReadBackDir() {
    std::string pattern = archCtx.workDirName + "/PELOarchive.readBack.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return std::strerror(errno);
    archCtx.readBackDir = pattern;
    return {};
}

/// cpio reads the medium into the scratch directory; false after 0012-005
/// with cpio's own words and its status when it fails.
bool extractMedium() {
    const ArchiveContext& c = archCtx;
    const CommandResult extracted = send_command(CommandLine("cd")
                                                     .arg(c.readBackDir)
                                                     .text(" && cpio -i -d --quiet --no-absolute-filenames <")
                                                     .quoted(c.deviceName));
    const Verdict verdict = cpioVerdict(extracted.ending, extracted.err);
    if (!verdict.failed())
        return true;
    std::string complaint = verdict.complaints.front();
    if (extracted.ending.kind != Ending::Kind::unknown && !extracted.err.empty())
        complaint = withoutNewline(std::string(extracted.err)) + "\n         " + complaint;
    msgPrint(1704, c.deviceName.c_str(), complaint.c_str());
    return false;
}

ReadBack readBackDevice() {
    const std::string& device = archCtx.deviceName;
    std::string unreadable = deviceUnreadable(device);
    if (unreadable.empty())
        unreadable = makeReadBackDir();
    if (!unreadable.empty())
        return askUnverifiedRemoval(device, unreadable) ? ReadBack::unread : ReadBack::declined;
    const bool extracted = extractMedium();
    const int differences = extracted ? countDifferences(archCtx.readBackDir, "", 0) : 0;
    removeReadBackCopy();
    return extracted ? judged(differences, device) : ReadBack::differs;
}

}  // namespace

std::string manifestPath(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size());
    for (const char c : path) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::optional<std::string> manifestUnescape(std::string_view written) {
    std::string path;
    path.reserve(written.size());
    for (std::size_t at = 0; at < written.size(); ++at) {
        if (written[at] != '\\') {
            path += written[at];
            continue;
        }
        if (++at == written.size() || (written[at] != '\\' && written[at] != 'n'))
            return std::nullopt;
        path += written[at] == 'n' ? '\n' : '\\';
    }
    return path;
}

ManifestRead readManifestText(std::string_view text) {
    ManifestRead read;
    const auto isHex = [](std::string_view digits) {
        return digits.size() == 64 && digits.find_first_not_of("0123456789abcdef") == digits.npos;
    };
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
        ++number;
        bool understood = false;
        if (line.starts_with("# size ")) {
            line.remove_prefix(7);
            const std::size_t blank = line.find(' ');
            const std::string_view digits = line.substr(0, blank);
            const std::optional<std::string> path =
                blank == line.npos ? std::nullopt : manifestUnescape(line.substr(blank + 1));
            if (path && !digits.empty() && digits.size() < 19 && digits.find_first_not_of("0123456789") == digits.npos) {
                read.files[*path].size = std::stoll(std::string(digits));
                understood = true;
            }
        } else if (line.starts_with("# keeps ")) {
            line.remove_prefix(8);
            std::vector<std::string> words;
            for (std::size_t at = 0; at <= line.size();) {
                const std::size_t blank = std::min(line.find(' ', at), line.size());
                words.emplace_back(line.substr(at, blank - at));
                at = blank + 1;
            }
            const std::optional<std::string> path = manifestUnescape(words.front());
            if (path && !path->empty()) {
                read.kept[*path].assign(words.begin() + 1, words.end());
                understood = true;
            }
        } else if (line.starts_with('#') || line.empty()) {
            understood = true;
        } else {
            const bool escaped = line.starts_with('\\');
            if (escaped)
                line.remove_prefix(1);
            const std::optional<std::string> path = line.size() > 66 && isHex(line.substr(0, 64)) &&
                                                            line.substr(64, 2) == "  "
                                                        ? manifestUnescape(line.substr(66))
                                                        : std::nullopt;
            // sha256sum marks a line whose name it escaped, and only such a line.
            if (path && escaped == (*path != line.substr(66))) {
                FileDigest& digest = read.files.try_emplace(*path, FileDigest{-1, {}}).first->second;
                digest.sha256 = line.substr(0, 64);
                understood = true;
            }
        }
        if (!understood)
            read.unreadLines.push_back("line " + std::to_string(number));
    }
    return read;
}

std::string manifestText(std::span<const ManifestFile> files,
                         const std::map<std::string, std::vector<std::string>>& kept, bool device) {
    std::string text =
        "# PELOarchive.manifest: every file of this archive but this one and\n"
        "# PELOarchive.info, which is written after it.  Check them with\n"
        "# \"sha256sum -c PELOarchive.manifest\" in the archive's root.\n"
        "# Lines \"# size BYTES PATH\" give each file's size; PATH there has its\n"
        "# backslashes and new-lines escaped as \\\\ and \\n, as sha256sum does.\n";
    text += device ? "# The histories are whole; PELOarchive.VCcleanup lists the deltas a\n"
                     "# restore drops from them.\n"
                   : "# Lines \"# keeps PATH SID ...\" give the SIDs or revisions each history\n"
                     "# trimmed to the archived versions keeps, newest first.\n";
    for (const ManifestFile& file : files) {
        const std::string path = manifestPath(file.path);
        text += (path.size() != file.path.size() ? "\\" : "") + file.content.sha256 + "  " + path + "\n";
    }
    for (const ManifestFile& file : files)
        text += "# size " + std::to_string(file.content.size) + " " + manifestPath(file.path) + "\n";
    for (const auto& [history, sids] : device ? decltype(kept){} : kept) {
        text += "# keeps " + manifestPath(history);
        for (const std::string& sid : sids)
            text += " " + sid;
        text += "\n";
    }
    return text;
}

int writeManifest() {
    if (flushWorkFiles() != 0)
        return 1;
    if (isDeviceArchive()) {
        const std::optional<std::vector<Source>> sources = filesOfCpioList();
        if (!sources || digestSources(*sources, AT_FDCWD, 0) != 0)
            return 1;
        return writeManifestFile();
    }
    const std::string& root = archCtx.fileSystemName;
    const Descriptor rootDir{open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (rootDir.fd < 0) {
        msgPrint(1713, root.c_str(), systemErrorText());
        return 1;
    }
    const std::optional<std::vector<Source>> sources = filesInDirectory(root);
    if (!sources || digestSources(*sources, rootDir.fd, digestBelowOnly) != 0)
        return 1;
    return writeManifestFile();
}

ReadBack readBackArchive() {
    if (isDeviceArchive())
        return readBackDevice();
    const std::string& root = archCtx.fileSystemName;
    return judged(countDifferences(root, root + "/", digestFromMedium), root);
}

void removeReadBackCopy() {
    if (archCtx.readBackDir.empty())
        return;
    std::error_code ignored;
    fs::remove_all(archCtx.readBackDir, ignored);
    archCtx.readBackDir.clear();
}

}  // namespace pelo
