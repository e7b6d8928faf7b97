// Whole runs of the real binary, byte for byte, against the outputs of the
// reference binary, commit 7e3dbfd, which reads the family database one
// statement per object, built with one change: a track's changes that
// differ only in their type or user come ordered by them, as they now do,
// where that binary left their order to each backend.  Whatever way of
// reading the database replaces the reference's, the populate script, the
// load and export files, the users file, the information file and what the
// terminal shows must stay as they were.
//
// Each case builds a family with mkfamily and runs the binary as its login
// (nss_wrapper; pelofam on both backends) with the requests its family.txt
// names.  No run removes anything, so each sees the family as built.  The
// outputs of a run are its standard output and standard error, every work
// file in its archive directory and a listing of the archive's other files,
// as run-independent text (normalised, addArchive); an empty output counts
// as absent.
//
// The hostile family (mkfamily --hostile, tiny) meets each database
// dialect once, each backend and history kind twice, with a check-only run
// and a file-system archive of its release request and of its level
// request; its goldens are the outputs themselves, golden/hostile/CASE/.
// The large family at scale 1, as bench/ builds it, meets both backends
// with a check-only run and a file-system archive of every release it lets
// go; its outputs run to tens of MB, so golden/large/CASE/ keeps each
// one's SHA-256 and size in its stead.  Its cases carry the ctest label
// "large": building the family alone takes over a minute.
//
// PELO_DIFF_BINARY names the binary to run in place of the tree's own;
// PELO_WRITE_GOLDEN=1 writes the goldens from the run instead of comparing.
// tests/differential/regolden does both with a reference binary.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "archive/builtFamily.h"
#include "db/backends.h"
#include "support/commandLine.h"
#include "support/digest.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using dbtest::Backend;
using dbtest::ScratchDatabase;
using testing::readText;

/// Outputs by name ("release.PELOarchive.dbData", "check-release.stdout").
using Outputs = std::map<std::string, std::string>;

enum class Size { hostile, large };

struct DiffCase {
    const char* name;
    Backend backend;
    Size size;
    const char* product;  ///< mkfamily's --db
    const char* vc;       ///< mkfamily's --vc
};

void PrintTo(const DiffCase& c, std::ostream* out) { *out << c.name; }

/// One run of the utility on a request of the family.
struct RunKind {
    const char* name;
    bool archives;  ///< a file-system archive without removal; else check-only
    bool level;     ///< the level request; else the release request
};

constexpr RunKind checkRelease{"check-release", false, false}, checkLevel{"check-level", false, true},
    archiveRelease{"release", true, false}, archiveLevel{"level", true, true};

const DiffCase hostileCases[] = {
    {"SQLite_Oracle_Sccs", Backend::sqlite, Size::hostile, "oracle", "sccs"},
    {"PostgreSQL_Informix_Pvcs", Backend::postgres, Size::hostile, "informix", "pvcs"},
    {"PostgreSQL_Sybase_Sccs", Backend::postgres, Size::hostile, "sybase", "sccs"},
    {"SQLite_Vql_Pvcs", Backend::sqlite, Size::hostile, "vql", "pvcs"},
};

const DiffCase largeCases[] = {
    {"SQLite", Backend::sqlite, Size::large, "oracle", "sccs"},
    {"PostgreSQL", Backend::postgres, Size::large, "oracle", "sccs"},
};

constexpr const char* familyLogin = "pelofam";
constexpr const char* familyPassword = "pelopass";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

/// The first line where two texts part, with both versions of it.
std::string firstDifference(const std::string& golden, const std::string& run) {
    const auto at = std::size_t(std::mismatch(golden.begin(), golden.end(), run.begin(), run.end()).first -
                                golden.begin());
    const auto start = at == 0 ? std::string::npos : golden.rfind('\n', at - 1);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    const auto lineOf = [from](const std::string& text) {
        return text.substr(from, std::min<std::size_t>(text.find('\n', from) - from, 300));
    };
    return " at line " + std::to_string(std::count(golden.begin(), golden.begin() + std::ptrdiff_t(from), '\n') + 1) +
           "\n  golden: " + lineOf(golden) + "\n  run:    " + lineOf(run);
}

/// An SCCS history as every build of the family writes it: the SCCS tools
/// stamp the checksum, each delta's date, time and user, and the comment
/// of the first, when mkfamily makes the history.  The deltas a history
/// keeps and their texts stay as they are.
std::string withoutSccsStamps(const std::string& text) {
    if (!text.starts_with("\x01h"))
        return text;
    static const std::regex delta(R"((\x01d [DR] \S+) \S+ \S+ \S+( .*))");
    std::string out;
    std::size_t at = 0;
    for (auto end = text.find('\n'); end != std::string::npos && text.compare(at, 2, "\x01T") != 0;
         at = end + 1, end = text.find('\n', at)) {
        std::string line = text.substr(at, end - at);
        if (line.starts_with("\x01h"))
            line = "\x01h@SUM@";
        else if (line.starts_with("\x01" "c date and time created "))
            line = "\x01" "c date and time created @STAMP@";
        else if (std::smatch fields; std::regex_match(line, fields, delta))
            line = fields[1].str() + " @STAMP@" + fields[2].str();
        out += line + "\n";
    }
    return out + text.substr(at);
}

/// The archive directory as outputs: each work file whole, the other
/// files as one listing of SHA-256, size and path (a new-line or backslash
/// in a name escaped), in path order, SCCS histories without their stamps.
void addArchive(const std::string& run, const fs::path& arch, Outputs& outputs) {
    std::map<std::string, std::string> listing;  ///< by path
    for (const auto& entry : fs::recursive_directory_iterator(arch)) {
        if (!entry.is_regular_file())
            continue;
        const std::string path = fs::relative(entry.path(), arch).string();
        // The row copy is this tree's addition, which the reference never
        // made; the removal tests compare it with the family's rows.  The
        // manifest sums the histories with the stamps of the build that made
        // them, so no golden can hold it; its own tests check it.
        if (path == "PELOarchive.rows.db" || path == "PELOarchive.manifest")
            continue;
        if (path.starts_with("PELOarchive.")) {
            outputs[run + "." + path] = readText(entry.path());
            continue;
        }
        const std::string text = withoutSccsStamps(readText(entry.path()));
        listing[path] = sha256Hex(text) + " " + std::to_string(text.size()) + " " +
                        replaceAll(replaceAll(path, "\\", "\\\\"), "\n", "\\n") + "\n";
    }
    for (const auto& [path, line] : listing)
        outputs[run + ".tree"] += line;
}

/// The outputs as a run of any day and place writes them: the scratch
/// directory @SCRATCH@, the information file's date of archive @DATE@;
/// empty ones left out.
Outputs normalised(const Outputs& outputs, const std::string& scratch) {
    const std::regex date(R"(\d+/\d\d/\d\d \d\d:\d\d:\d\d)");
    Outputs out;
    for (const auto& [name, raw] : outputs) {
        std::string text = replaceAll(raw, scratch, "@SCRATCH@");
        if (const auto label = text.find("Date of archive"); name.ends_with(".PELOarchive.info") &&
                                                             label != std::string::npos) {
            const auto at = text.find(": ", label) + 2, end = text.find('\n', at);
            if (std::regex_match(text.substr(at, end - at), date))
                text.replace(at, end - at, "@DATE@");
        }
        if (!text.empty())
            out[name] = std::move(text);
    }
    return out;
}

class DifferentialTest : public ::testing::TestWithParam<DiffCase> {
protected:
    void SetUp() override {
        db_ = std::make_unique<ScratchDatabase>(GetParam().backend);
        if (!db_->unavailable().empty())
            GTEST_SKIP() << db_->unavailable();
        scratch_ = db_->dir().string();
        if (GetParam().backend == Backend::postgres) {
            // The family login is a role of the cluster, shared with the
            // benchmarks' families; runs of the test in parallel may race
            // to make it.
            std::string complaint;
            ASSERT_TRUE(dbtest::pgQuery(dbtest::PgCluster::get()->admin,
                                        std::string("DO $$BEGIN CREATE ROLE ") + familyLogin +
                                            " LOGIN SUPERUSER PASSWORD '" + familyPassword +
                                            "'; EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL; END$$",
                                        nullptr, &complaint))
                << complaint;
            for (const char* name : {"PGHOST", "PGPORT"})
                if (const char* value = std::getenv(name))
                    cluster_[name] = value;
        }
    }

    void buildFamily() {
        const DiffCase& c = GetParam();
        std::string options = c.size == Size::hostile ? "--size=tiny --hostile" : "--size=large --scale=1";
        options += std::string(" --db=") + c.product + " --vc=" + c.vc;
        if (c.backend == Backend::postgres)
            options += " --target=" + shellQuote(db_->target()) + " --login=" + familyLogin +
                       " --password=" + familyPassword;
        family_ = testing::buildFamily(scratch_ + "/family", options);
        ASSERT_TRUE(family_.env.contains("PELO_DB")) << "no family.env";
    }

    /// The answers that name the request: the level request, or the
    /// release request, which on the large family is every release but the
    /// last, still active one.
    std::string request(bool level) const {
        const auto& requests = family_.requests;
        if (level)
            return "1\n" + requests.at("levelArchive") + "\n" + requests.at("levelArchiveRelease") + "\n";
        if (GetParam().size == Size::hostile)
            return "2\n" + requests.at("releaseArchive") + "\n";
        std::string releases;
        for (int r = 1; r < std::stoi(requests.at("releases")); ++r)
            releases += (r > 1 ? " rel" : "rel") + std::to_string(r);
        return "2\n" + releases + "\n";
    }

    /// Runs the binary as the family's login and adds what it wrote to outputs.
    void run(const RunKind& kind, Outputs& outputs) const {
        const std::string base = scratch_ + "/" + kind.name;
        if (kind.archives)
            fs::create_directories(base);
        std::ofstream(base + ".answers")
            << (kind.archives ? "2\n" + request(kind.level) + "1\n1\n" + base + "\n" : "1\n" + request(kind.level));
        const char* binary = std::getenv("PELO_DIFF_BINARY");
        const std::string command = testing::archiveCommand(family_, cluster_, binary ? binary : PELOARCHIVE_BINARY) +
                                    " <" + shellQuote(base + ".answers") + " >" + shellQuote(base + ".stdout") +
                                    " 2>" + shellQuote(base + ".stderr");
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << kind.name << " ended with " << status;
        for (const char* stream : {"stdout", "stderr"})
            outputs[kind.name + std::string(".") + stream] = readText(base + "." + stream);
        if (kind.archives)
            addArchive(kind.name, base, outputs);
    }

    std::unique_ptr<ScratchDatabase> db_;
    std::string scratch_;
    std::map<std::string, std::string> cluster_;
    testing::BuiltFamily family_;
};

TEST_P(DifferentialTest, OutputsAsTheReferenceWroteThem) {
    ASSERT_NO_FATAL_FAILURE(buildFamily());
    Outputs outputs;
    const bool hostile = GetParam().size == Size::hostile;
    for (const RunKind& kind : hostile ? std::vector{checkRelease, checkLevel, archiveRelease, archiveLevel}
                                       : std::vector{checkRelease, archiveRelease})
        run(kind, outputs);
    outputs = normalised(outputs, scratch_);
    if (!hostile)  // as a large case's golden keeps them
        for (auto& [name, text] : outputs)
            text = sha256Hex(text) + " " + std::to_string(text.size());
    const fs::path dir = fs::path(GOLDEN_DIR) / (hostile ? "hostile" : "large") / GetParam().name;
    if (const char* write = std::getenv("PELO_WRITE_GOLDEN"); write && std::string(write) == "1") {
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto& [name, text] : outputs)
            std::ofstream(dir / name, std::ios::binary) << text;
    }

    // Every difference, one line each, rather than the first alone.
    Outputs goldens;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            goldens[entry.path().filename().string()] = readText(entry.path());
    ASSERT_FALSE(goldens.empty()) << "no goldens at " << dir;
    for (const auto& [name, golden] : goldens)
        if (!outputs.contains(name))
            ADD_FAILURE() << name << ": the run wrote none";
        else if (outputs.at(name) != golden)
            ADD_FAILURE() << name << " differs from the golden" << firstDifference(golden, outputs.at(name));
    for (const auto& [name, text] : outputs)
        EXPECT_TRUE(goldens.contains(name)) << name << ": no golden, the run wrote " << text.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Hostile, DifferentialTest, ::testing::ValuesIn(hostileCases),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Large, DifferentialTest, ::testing::ValuesIn(largeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelo
