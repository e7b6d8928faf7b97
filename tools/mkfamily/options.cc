#include "options.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace pelo::family {
namespace {

bool takeValue(std::string_view arg, std::string_view name, std::string& value) {
    if (arg.substr(0, name.size()) != name || arg.size() <= name.size() || arg[name.size()] != '=')
        return false;
    value = std::string(arg.substr(name.size() + 1));
    return true;
}

int setSize(const std::string& text, FamilyOptions& options, std::string& error) {
    if (text == "tiny")
        options.size = FamilySize::tiny;
    else if (text == "demo")
        options.size = FamilySize::demo;
    else if (text == "large")
        options.size = FamilySize::large;
    else
        return error = "unknown size " + text + " (tiny, demo or large)", 1;
    return 0;
}

int setScale(const std::string& text, FamilyOptions& options, std::string& error) {
    const std::string reason = "--scale takes a whole number from 1 to " + std::to_string(maxFamilyScale) +
                               ", not \"" + text + "\"";
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return error = reason, 1;
    const int scale = std::stoi(text);
    if (scale < 1 || scale > maxFamilyScale)
        return error = reason, 1;
    options.scale = scale;
    return 0;
}

int setProduct(const std::string& text, FamilyOptions& options, std::string& error) {
    if (text == "oracle" || text == "informix" || text == "sybase" || text == "dizoz")
        options.product = text;
    else if (text == "vql")
        options.product = "dizoz";
    else
        return error = "unknown database product " + text + " (oracle, informix, sybase, vql)", 1;
    return 0;
}

int checkOptions(FamilyOptions& options, std::string& error) {
    if (options.root.empty())
        return error = "--root=DIR is required\n\n" + familyUsage(), 1;
    if (options.vcType != "sccs" && options.vcType != "pvcs")
        return error = "unknown version-control kind " + options.vcType + " (sccs or pvcs)", 1;
    if (options.login.empty() || options.login.size() > 20 ||
        options.login.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos)
        return error = "the login must be 1 to 20 lower-case letters, digits or _", 1;
    if (!options.breakRule.empty()) {
        bool known = false;
        for (const BreakRule& rule : breakRules())
            known = known || options.breakRule == rule.name;
        if (!known)
            return error = "unknown shape " + options.breakRule + "\n\n" + familyUsage(), 1;
    }
    if (options.uid < 0)
        options.uid = int(getuid());
    return 0;
}

}  // namespace

const std::vector<BreakRule>& breakRules() {
    static const std::vector<BreakRule> rules = {
        {"no-user0", "the Users row 0 is missing (0010-909)"},
        {"level-not-complete", "the level of the level archive is in the commit state (0010-912)"},
        {"checked-out", "a file of each archive release is checked out (0010-913; the level "
                        "archive checks this only under PVCS)"},
        {"shared-checked-out", "a file of the last release that shares its source with both archive "
                               "releases is checked out (0011-026, checked only under PVCS)"},
        {"earlier-level-not-complete", "a level committed before the archive level is in the "
                                       "commit state (0010-915)"},
        {"track-not-complete", "a track of an archived level is in the commit state (0010-916)"},
        {"track-in-later-level", "a track of the archive level is also in the next level (0010-948)"},
        {"unleveled-track-not-complete", "a track committed without a level before the next "
                                         "level's commit is in the test state (0010-951)"},
        {"held-track-not-complete", "a track committed without a level after the next level's "
                                    "commit is in the test state (0010-955)"},
        {"release-level-not-complete", "a level of the release archive is in the commit state "
                                       "(0010-915)"},
        {"release-track-active", "a track of the release archive is in the test state (0010-914)"},
        {"sizes-ready", "a sizing record of the release archive is ready (0010-917)"},
        {"dsr-defect-sized", "a defect in the design state has an accepted sizing record in the "
                             "release archive (0010-918)"},
    };
    return rules;
}

std::string familyUsage() {
    std::string text =
        "usage: mkfamily --root=DIR [--size=tiny|demo|large] [--scale=N] [--seed=N]\n"
        "                [--db=oracle|informix|sybase|vql] [--vc=sccs|pvcs]\n"
        "                [--login=NAME] [--uid=N] [--password=TEXT] [--break=SHAPE]\n"
        "                [--target=DATABASE] [--tools=DIR] [--cssc=DIR] [--hostile]\n"
        "                [--histories-cache=DIR]\n"
        "\nBuilds a complete family below DIR: home/ (the family home with its database,\n"
        "maps/, configField/, .ld files and vc/ histories), pelo/install/mkdb, the\n"
        "database products' tools, passwd and group files for nss_wrapper, family.env\n"
        "to source, and family.txt naming the archive requests the family is shaped for.\n"
        "--scale=N (1 to " + std::to_string(maxFamilyScale) + ", default 1) makes the size's tracks, files, defects,\n"
        "versions, users and components N times as many; the releases, their levels and\n"
        "the archive requests stay as they are.\n"
        "--hostile gives the same family names and texts that try to break out: quotes,\n"
        "back quotes, $(touch CANARY) and forms of it without blanks, ; & | and\n"
        "backslashes, blanks, new-lines, a line \"!\", UTF-8 and the longest values the\n"
        "columns allow, in release, level, component, path, base and login names, defect\n"
        "names, abstracts, descriptions and remarks (a command that runs one leaves a\n"
        "file CANARY).  Releases and levels hold no '/'; the requested release and level\n"
        "names are blank-free tokens of at most 15 characters (family.txt names them).\n"
        "A line the product's script reader takes for its own command, which the\n"
        "archive refuses, is written as a near miss (\"! \" for informix, \"go on\" for\n"
        "sybase) in the columns the script carries.\n"
        "--histories-cache=DIR keeps the histories this build of mkfamily makes in DIR,\n"
        "under a name drawn from every option that shapes them, and copies them from\n"
        "there when an earlier run made them: the histories of a large family take\n"
        "minutes, its database seconds.  Runs that share DIR wait for each other.\n"
        "\nShapes (--break), each breaking one archive prerequisite:\n";
    for (const BreakRule& rule : breakRules())
        text += "  " + std::string(rule.name) + "\n      " + rule.help + "\n";
    return text;
}

int parseFamilyOptions(int argc, char** argv, FamilyOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string value;
        if (arg == "--help" || arg == "-h")
            return error = familyUsage(), 2;
        if (arg == "--hostile") {
            options.hostile = true;
            continue;
        }
        if (takeValue(arg, "--root", options.root) || takeValue(arg, "--login", options.login) ||
            takeValue(arg, "--vc", options.vcType) || takeValue(arg, "--break", options.breakRule) ||
            takeValue(arg, "--target", options.target) || takeValue(arg, "--tools", options.toolsDir) ||
            takeValue(arg, "--cssc", options.csscDir) || takeValue(arg, "--password", options.password) ||
            takeValue(arg, "--histories-cache", options.historiesCache))
            continue;
        if (takeValue(arg, "--seed", value))
            options.seed = std::strtoul(value.c_str(), nullptr, 10);
        else if (takeValue(arg, "--uid", value))
            options.uid = std::atoi(value.c_str());
        else if (takeValue(arg, "--size", value)) {
            if (setSize(value, options, error))
                return 1;
        } else if (takeValue(arg, "--scale", value)) {
            if (setScale(value, options, error))
                return 1;
        } else if (takeValue(arg, "--db", value)) {
            if (setProduct(value, options, error))
                return 1;
        } else {
            return error = "unknown argument " + std::string(arg) + "\n\n" + familyUsage(), 1;
        }
    }
    return checkOptions(options, error);
}

}  // namespace pelo::family
