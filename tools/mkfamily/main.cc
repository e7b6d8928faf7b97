// mkfamily: builds one complete family from a seed and a size, for the
// tests, the benchmarks and the demo.  The phases run in order; the first
// failure ends the run with status 1 and its reason on standard error.
#include <chrono>
#include <cstdio>
#include <string>

#include "database.h"
#include "histories.h"
#include "home.h"
#include "model.h"
#include "support/util.h"

using namespace pelo::family;

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "mkfamily: %s\n", text.c_str());
    return 1;
}

void fillDefaults(FamilyOptions& options) {
    if (options.toolsDir.empty())
        options.toolsDir = PELO_TOOLS_DIR;
    if (options.csscDir.empty())
        options.csscDir = PELO_CSSC_DIR;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    FamilyOptions options;
    std::string error;
    if (int parsed = parseFamilyOptions(argc, argv, options, error); parsed != 0) {
        if (parsed == 2)
            return std::fputs(error.c_str(), stdout) < 0;
        return fail(error);
    }
    fillDefaults(options);
    FamilyLayout layout = familyLayout(options);
    if (pelo::fileIsThere(layout.home.c_str()))
        return fail(layout.home + " exists already: build into an empty root");
    if (pelo::makePath(options.root.c_str(), 0755) != 0)
        return fail("cannot create " + options.root);
    auto start = std::chrono::steady_clock::now();
    Family family = planFamily(options);
    if (writeFamilyHome(family, layout, error) != 0)
        return fail(error);
    if (writeFamilyDatabase(family, layout.target, error) != 0)
        return fail(error);
    double database = secondsSince(start);
    const std::string templates = options.root + "/.sccs-template";
    if ((options.historiesCache.empty() ? writeHistories(family, layout.home, templates, error)
                                        : writeCachedHistories(family, layout.home, templates, error)) != 0)
        return fail(error);
    if (writeFamilyEnvironment(family, layout, error) != 0)
        return fail(error);
    std::printf("family %s in %s: %zu releases, %zu levels, %zu tracks, %zu changes, %zu histories, "
                "%zu versions (database %.1f s, total %.1f s)\n",
                options.login.c_str(), options.root.c_str(), family.releases.size(), family.levels.size(),
                family.tracks.size(), family.changes.size(), family.sources.size(), family.versions.size(),
                database, secondsSince(start));
    return 0;
}
