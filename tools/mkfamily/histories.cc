// SCCS histories are made with the real SCCS tools.  Starting a program is
// the expensive part, so the work is shared out: every history starts from
// the family's template, made once with "admin -i" and copied (an SCCS
// file does not hold its own name); then the histories of one directory
// are made together, per round one "get -e" and one "delta" naming every
// history of the directory that has a version in that round.
#include "histories.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "home.h"
#include "pvcsArchive.h"
#include "spawn.h"
#include "support/digest.h"
#include "support/util.h"
#include "vc/binaryVersion.h"
#include "vc/binmerge.h"
#include "vc/location.h"

namespace pelo::family {
namespace {

struct SccsTool {
    std::string bin;
    void operator()(const std::string& dir, std::vector<std::string> args) const {
        args.insert(args.begin(), bin + "/" + args.front());
        args.erase(args.begin() + 1);
        std::string output;
        if (runTool(dir, args, output) != 0)
            throw std::runtime_error(args[0] + " in " + dir + ": " + output);
    }
};

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

std::string directoryOf(const std::string& path) { return path.substr(0, path.rfind('/')); }
std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

/// The first deltas every history starts from: s.text holds the text
/// template, s.binary the delta tree's first stamp.
struct Templates {
    std::string text, binary;
};

Templates makeTemplates(const SccsTool& sccs, const std::string& dir) {
    makeDirectory(dir);
    writeFile(dir + "/text", textContent(0, 0));
    writeFile(dir + "/binary", "binary version 1.1\n");
    sccs(dir, {"admin", "-itext", "s.text"});
    sccs(dir, {"admin", "-ibinary", "s.binary"});
    return {dir + "/s.text", dir + "/s.binary"};
}

void copyTemplate(const std::string& from, const std::string& to) {
    if (vcCopy(from.c_str(), to.c_str()) != 0 || chmod(to.c_str(), 0444) != 0)
        throw std::runtime_error("cannot copy " + from + " to " + to);
}

/// Text histories of one directory, made round by round.
void writeSccsDirectory(const SccsTool& sccs, const Templates& templates, const std::string& dir,
                        const std::vector<const Source*>& sources) {
    std::size_t rounds = 0;
    for (const Source* source : sources) {
        copyTemplate(templates.text, dir + "/" + nameOf(vcLocation(source->id, source->fileType)));
        rounds = std::max(rounds, source->versionIds.size());
    }
    for (std::size_t k = 1; k < rounds; ++k) {
        std::vector<std::string> get = {"get", "-e", "-s"}, delta = {"delta", "-s", "-yversion " + std::to_string(k + 1)};
        for (const Source* source : sources)
            if (source->versionIds.size() > k) {
                std::string sfile = nameOf(vcLocation(source->id, source->fileType));
                get.push_back(sfile);
                delta.push_back(sfile);
            }
        sccs(dir, get);
        for (const Source* source : sources)
            if (source->versionIds.size() > k)
                writeFile(dir + "/" + nameOf(vcLocation(source->id, source->fileType)).substr(2),
                          textContent(source->id, int(k)));
        sccs(dir, delta);
    }
}

/// A binary directory: the delta tree in s.binary, the newest version and
/// every third one as full copies, and a reverse difference for every
/// version after the first.
void writeBinaryDirectory(const SccsTool& sccs, const Templates& templates, const Family& family,
                          const std::string& dir, const Source& source) {
    makeDirectory(dir);
    std::size_t count = source.versionIds.size();
    BinaryHistory history = binaryHistory(source.id, int(count));
    for (std::size_t k = 0; k < count; ++k) {
        const std::string& sid = family.versions[std::size_t(source.versionIds[k] - 1)].SID;
        if (k == 0) {
            copyTemplate(templates.binary, dir + "/s.binary");
        } else {
            sccs(dir, {"get", "-e", "-s", "s.binary"});
            writeFile(dir + "/binary", "binary version " + sid + ", " +
                                           std::to_string(history.contents[k].size()) + " bytes\n");
            sccs(dir, {"delta", "-s", "-yversion " + sid, "s.binary"});
        }
        if (k + 1 == count || k % 3 == 2)
            writeFile(dir + "/" + sid, history.contents[k]);
        if (k > 0 && writeReverseDifference(dir + "/" + sid + "d", history.reverse[k]) != 0)
            throw std::runtime_error("cannot write " + dir + "/" + sid + "d");
    }
}

std::string loginOf(const Family& family, int userId) {
    for (const User& user : family.users)
        if (user.ID == userId)
            return user.LOGIN;
    return "unknown";
}

void writePvcsArchive(const Family& family, const std::string& path, const Source& source) {
    makeDirectory(directoryOf(path));
    pvcs::Archive archive;
    archive.workfile = "file" + std::to_string(source.id);
    bool binary = source.fileType == vcPVCSBinary;
    BinaryHistory history = binary ? binaryHistory(source.id, int(source.versionIds.size())) : BinaryHistory{};
    for (std::size_t k = 0; k < source.versionIds.size(); ++k) {
        const Version& v = family.versions[std::size_t(source.versionIds[k] - 1)];
        pvcs::Revision revision{v.SID, loginOf(family, v.USERID), v.CHANGEDATE, "version " + v.SID,
                                binary ? history.contents[k] : textContent(source.id, int(k))};
        std::string error;
        if (pvcs::addRevision(archive, revision, error) != 0)
            throw std::runtime_error(path + ": " + error);
    }
    std::string error;
    if (pvcs::saveArchive(path, archive, error) != 0)
        throw std::runtime_error(error);
}

}  // namespace

int writeHistories(const Family& family, const std::string& home, const std::string& scratch,
                   std::string& error) {
    SccsTool sccs{family.options.csscDir};
    bool pvcsFamily = family.options.vcType == "pvcs";
    std::map<std::string, std::vector<const Source*>> textDirs;
    try {
        Templates templates;
        if (!pvcsFamily || std::any_of(family.sources.begin(), family.sources.end(),
                                       [](const Source& s) { return vcIsBinaryDirectory(s.fileType); }))
            templates = makeTemplates(sccs, scratch);
        for (const Source& source : family.sources) {
            if (source.versionIds.empty())
                continue;
            std::string path = home + "/vc/" + vcLocation(source.id, source.fileType);
            if (vcIsBinaryDirectory(source.fileType))
                writeBinaryDirectory(sccs, templates, family, path, source);
            else if (pvcsFamily)
                writePvcsArchive(family, path, source);
            else
                textDirs[directoryOf(path)].push_back(&source);
        }
        for (const auto& [dir, sources] : textDirs) {
            makeDirectory(dir);
            writeSccsDirectory(sccs, templates, dir, sources);
        }
        for (const char* name : {"/text", "/binary", "/s.text", "/s.binary"})
            std::remove((scratch + name).c_str());
        rmdir(scratch.c_str());
    } catch (const std::runtime_error& failure) {
        error = failure.what();
        return 1;
    }
    return 0;
}

namespace {

/// The cache entry's name: a digest of this mkfamily's size and time, so
/// that a rebuilt builder never takes what an older one made (and drops
/// it), then one of every option that shapes the histories.
std::string cacheEntryName(const FamilyOptions& options) {
    struct stat self {};
    stat("/proc/self/exe", &self);
    const std::string builder = std::to_string(self.st_size) + "\n" + std::to_string(self.st_mtim.tv_sec) + "." +
                                std::to_string(self.st_mtim.tv_nsec) + "\n" + options.csscDir;
    const char* sizes[] = {"tiny", "demo", "large"};
    const std::string shape = std::string(sizes[int(options.size)]) + "\n" + std::to_string(options.scale) + "\n" +
                              std::to_string(options.seed) + "\n" + options.product + "\n" + options.vcType +
                              "\n" + options.login + "\n" + options.breakRule + "\n" +
                              (options.hostile ? "hostile" : "");
    return sha256Hex(builder).substr(0, 16) + "-" + sha256Hex(shape).substr(0, 16);
}

/// Removes what other builds of mkfamily left in the cache.
void dropOtherBuilders(const std::string& cache, const std::string& stamp) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(cache))
        if (!entry.path().filename().string().starts_with(stamp))
            fs::remove_all(entry.path());
}

}  // namespace

int writeCachedHistories(const Family& family, const std::string& home, const std::string& scratch,
                         std::string& error) {
    namespace fs = std::filesystem;
    const std::string& cache = family.options.historiesCache;
    const std::string name = cacheEntryName(family.options), entry = cache + "/" + name;
    if (makePath(cache.c_str(), 0755) != 0)
        return error = "cannot create " + cache, 1;
    const int lock = open((entry + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
        if (lock >= 0)
            close(lock);
        return error = "cannot lock " + entry + ".lock", 1;
    }
    int status = 0;
    try {
        if (fs::is_directory(entry)) {
            fs::copy(entry, home + "/vc", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        } else if ((status = writeHistories(family, home, scratch, error)) == 0 && fs::is_directory(home + "/vc")) {
            const std::string filling = entry + ".filling";
            fs::remove_all(filling);
            fs::copy(home + "/vc", filling, fs::copy_options::recursive);
            fs::rename(filling, entry);
            dropOtherBuilders(cache, name.substr(0, name.find('-')));
        }
    } catch (const fs::filesystem_error& failure) {
        error = failure.what();
        status = 1;
    }
    close(lock);
    return status;
}

}  // namespace pelo::family
