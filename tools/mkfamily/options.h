// What the family builder is asked to build.
#pragma once

#include <string>
#include <vector>

namespace pelo::family {

enum class FamilySize { tiny, demo, large };

/// The largest --scale: beyond it the large family's ids and row counts
/// would no longer fit the schema's 32-bit integers with room to spare.
constexpr int maxFamilyScale = 1000;

/// The options of one run of mkfamily.
struct FamilyOptions {
    std::string root;              ///< scratch directory that receives everything
    unsigned long seed = 1;
    FamilySize size = FamilySize::tiny;
    int scale = 1;                   ///< the size's counts grow this many times (1 to maxFamilyScale)
    std::string product = "oracle";  ///< "oracle", "informix", "sybase" or "dizoz"
    std::string vcType = "sccs";     ///< "sccs" or "pvcs"
    std::string login = "pelofam";   ///< the family's login (and database user)
    std::string breakRule;           ///< one prerequisite shape, or empty
    std::string target;              ///< database target; empty: <home>/family.db
    std::string toolsDir;            ///< built tools (pvcs/, dbproducts/)
    std::string csscDir;             ///< the SCCS tools
    std::string password = "pelopass";
    int uid = -1;                    ///< uid of the passwd entry; -1: the caller's
    bool hostile = false;            ///< names and texts that try to break out (hostile.cc)
    std::string historiesCache;      ///< directory of histories built before, or empty
};

/// The prerequisite shapes, each breaking one rule, with a line of help.
struct BreakRule { const char* name; const char* help; };
const std::vector<BreakRule>& breakRules();

/// Reads the command line.  0 with options set; 1 with the reason in error;
/// 2 with the usage text in error when help was asked for.
int parseFamilyOptions(int argc, char** argv, FamilyOptions& options, std::string& error);

/// The usage text.
std::string familyUsage();

}  // namespace pelo::family
