#include "home.h"

#include <unistd.h>

#include <fstream>
#include <map>
#include <stdexcept>

#include "support/runner.h"
#include "support/util.h"

namespace pelo::family {
namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

void link(const std::string& target, const std::string& name) {
    unlink(name.c_str());
    if (symlink(target.c_str(), name.c_str()) != 0)
        throw std::runtime_error("cannot link " + name);
}

/// maps/R/L: one line per change of the level, "path SID type".
void writeMaps(const Family& f, const std::string& home) {
    std::map<int, std::string> maps;
    for (const Change& c : f.changes)
        if (c.LEVELID != 0)
            maps[c.LEVELID] += f.paths[std::size_t(c.PATHID - 1)].NAME + " " +
                               f.versions[std::size_t(c.VERSIONID - 1)].SID + " " + c.TYPE + "\n";
    for (const Level& level : f.levels) {
        std::string dir = home + "/maps/" + f.releases[std::size_t(level.RELEASEID - 1)].NAME;
        makeDirectory(dir);
        writeText(dir + "/" + level.NAME, "# level " + level.NAME + "\n" + maps[level.ID]);
    }
}

void writeLoadFiles(const Family& f, const std::string& home) {
    std::string config, authority, interest, relproc, comproc;
    for (const Config& c : f.config)
        config += c.TYPE + "|" + c.NAME + "|" + c.DFLT + "|" + std::to_string(c.VALUE1) + "|" +
                  std::to_string(c.VALUE2) + "|" + c.DESCRIPTION + "|\n";
    for (const NameAction& a : f.authority)
        authority += a.NAME + "|" + a.ACTION + "|\n";
    for (const NameAction& i : f.interest)
        interest += i.NAME + "|" + i.ACTION + "|\n";
    for (const NameConfig& r : f.cfgRelProc)
        relproc += r.NAME + "|" + r.CONFIG + "|\n";
    for (const NameConfig& c : f.cfgComProc)
        comproc += c.NAME + "|" + c.CONFIG + "|\n";
    writeText(home + "/config.ld", config);
    writeText(home + "/authority.ld", authority);
    writeText(home + "/interest.ld", interest);
    writeText(home + "/cfgrelproc.ld", relproc);
    writeText(home + "/cfgcomproc.ld", comproc);
}

std::string configTable(const std::vector<ConfigField>& fields) {
    std::string text;
    for (const ConfigField& field : fields)
        text += std::string(field.enabled ? "yes" : "no") + "|" + field.column + "|" + field.attribute +
                "|" + field.label + "|" + field.title + "|" + (field.create ? "yes" : "no") + "|" +
                (field.required ? "yes" : "no") + "|" + field.type + "\n";
    return text;
}

/// A report-format file: five sections, each ended by a line starting with
/// ':' (main format, main columns, second format, second columns, third
/// format); lines starting with '#' are comments.
std::string configFormat(const std::string& kind, const std::string& columns) {
    return "# " + kind + " reports of the family\n%-10s %-8s %s\n:\n" + columns +
           "\n:\n# the short list\n%-10s %s\n:\nname,state\n:\n%s\n:\n";
}

void writeConfigFields(const Family& f, const std::string& home) {
    std::string dir = home + "/configField";
    makeDirectory(dir);
    writeText(dir + "/DefectConfigTbl", configTable(f.defectFields));
    writeText(dir + "/FeatureConfigTbl", configTable(f.featureFields));
    writeText(dir + "/FileConfigTbl", configTable(f.fileFields));
    writeText(dir + "/UserConfigTbl", configTable(f.userFields));
    writeText(dir + "/DefectConfigFormat", configFormat("Defect", "name,state,abstract"));
    writeText(dir + "/FeatureConfigFormat", configFormat("Feature", "name,state,abstract"));
    writeText(dir + "/FileConfigFormat", configFormat("File", "baseName,versionSID,pathName"));
    writeText(dir + "/UserConfigFormat", configFormat("User", "login,name,area"));
}

/// The installation record and the product's tools where its commands
/// look for them.
void writeProduct(const Family& f, const FamilyLayout& layout) {
    const std::string& product = f.options.product;
    makeDirectory(layout.peloHome + "/install");
    std::string word = product == "oracle" ? "ORACLE" : product == "informix" ? "INFORMIX"
                       : product == "sybase" ? "SYBASE" : "VQL";
    writeText(layout.peloHome + "/install/mkdb",
              "# Installation record of the family " + f.options.login +
                  "\n# One of ORACLE, INFORMIX, SYBASE or VQL; the last active line decides.\n"
                  "family " + f.options.login + "\ndatabase " + word + "\n");
    std::string dbTools = f.options.toolsDir + "/dbproducts/";
    std::string home = layout.root + "/products/" + product;
    std::string bin = home + (product == "dizoz" ? "/sqllib/bin" : "/bin");
    makeDirectory(bin);
    const char* tool = product == "oracle" ? "exp" : product == "informix" ? "isql"
                       : product == "sybase" ? "bcp" : "vql";
    link(dbTools + tool, bin + "/" + tool);
}

void writeVcBin(const Family& f, const FamilyLayout& layout) {
    if (f.options.vcType != "pvcs")
        return;
    makeDirectory(layout.vcBin);
    for (const char* tool : {"vlog", "vdel", "vput", "vget"})
        link(f.options.toolsDir + "/pvcs/" + tool, layout.vcBin + "/" + tool);
}

std::string exportLine(const std::string& name, const std::string& value) {
    return "export " + name + "=" + shellQuote(value) + "\n";
}

std::string productVariables(const Family& f, const FamilyLayout& layout) {
    const std::string& product = f.options.product;
    std::string home = layout.root + "/products/" + product;
    if (product == "oracle")
        return exportLine("ORACLE_HOME", home);
    if (product == "informix")
        return exportLine("INFORMIXDIR", home);
    if (product == "sybase")
        return exportLine("SYBASE", home) + exportLine("SYBASE_PASS", f.options.password);
    return exportLine("VQL_HOME", home);
}

}  // namespace

void makeDirectory(const std::string& path) {
    if (makePath(path.c_str(), 0755) != 0)
        throw std::runtime_error("cannot create " + path);
}

FamilyLayout familyLayout(const FamilyOptions& options) {
    FamilyLayout layout;
    layout.root = options.root;
    layout.home = options.root + "/home";
    layout.peloHome = options.root + "/pelo";
    layout.target = options.target.empty() ? layout.home + "/family.db" : options.target;
    layout.vcBin = options.vcType == "pvcs" ? options.root + "/vcbin" : options.csscDir;
    layout.envFile = options.root + "/family.env";
    layout.passwdFile = options.root + "/passwd";
    layout.groupFile = options.root + "/group";
    layout.summaryFile = options.root + "/family.txt";
    return layout;
}

int writeFamilyHome(const Family& family, const FamilyLayout& layout, std::string& error) {
    try {
        makeDirectory(layout.home);
        writeMaps(family, layout.home);
        writeLoadFiles(family, layout.home);
        writeConfigFields(family, layout.home);
        writeProduct(family, layout);
        writeVcBin(family, layout);
    } catch (const std::runtime_error& failure) {
        error = failure.what();
        return 1;
    }
    return 0;
}

int writeFamilyEnvironment(const Family& f, const FamilyLayout& layout, std::string& error) {
    const FamilyOptions& o = f.options;
    std::string gid = std::to_string(getgid());
    try {
        writeText(layout.passwdFile, o.login + ":x:" + std::to_string(o.uid) + ":" + gid +
                                         ":PELO family " + o.login + ":" + layout.home + ":/bin/sh\n");
        writeText(layout.groupFile, o.login + ":x:" + gid + ":\n");
        writeText(layout.envFile,
                  "# The family " + o.login + ": source this file, then run the utility as the\n"
                  "# family's login through nss_wrapper (LD_PRELOAD=libnss_wrapper.so).\n" +
                      exportLine("PELO_HOME", layout.peloHome) + exportLine("PELO_DB", layout.target) +
                      exportLine("PELO_VCTYPE", o.vcType) + exportLine("PELO_VCBIN", layout.vcBin) +
                      exportLine("ORACLE_PASS", o.password) + productVariables(f, layout) +
                      exportLine("NSS_WRAPPER_PASSWD", layout.passwdFile) +
                      exportLine("NSS_WRAPPER_GROUP", layout.groupFile));
        writeText(layout.summaryFile,
                  "login=" + o.login + "\nhome=" + layout.home + "\nproduct=" + o.product +
                      "\nvc=" + o.vcType + "\nshape=" + o.breakRule + "\nreleaseArchive=" + f.releaseArchive +
                      "\nlevelArchiveRelease=" + f.levelArchiveRelease + "\nlevelArchive=" + f.levelArchive +
                      "\nreleases=" + std::to_string(f.releases.size()) + "\nlevels=" + std::to_string(f.levels.size()) +
                      "\ntracks=" + std::to_string(f.tracks.size()) + "\nchanges=" + std::to_string(f.changes.size()) +
                      "\nsources=" + std::to_string(f.sources.size()) + "\nversions=" + std::to_string(f.versions.size()) + "\n");
    } catch (const std::runtime_error& failure) {
        error = failure.what();
        return 1;
    }
    return 0;
}

}  // namespace pelo::family
