// The family builder's promises that no scenario shows: the same database
// for the same seed, a scale that grows what the releases hold, and binary
// histories whose reverse differences rebuild every version.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "db/client.h"
#include "support/runner.h"
#include "vc/binaryVersion.h"
#include "vc/location.h"
#include "support/scratchDir.h"

namespace pelo {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using Rows = std::vector<Texts>;

std::string tool(const std::string& relative) { return shellQuote(PELO_BINARY_DIR "/tools/" + relative); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ToolTest : public ScratchDirTest {
public:
    /// Builds a tiny family; the arguments are mkfamily options.
    std::string build(const std::string& name, const std::string& options) {
        const std::string root = path(name);
        const std::string command = tool("mkfamily/mkfamily") + " --root=" + shellQuote(root) + " " + options;
        std::vector<char> out(1 << 16), err(1 << 16);
        const CommandResult run = send_command(command.c_str(), out.data(), out.size(), err.data(), err.size());
        EXPECT_TRUE(run.ending.kind == Ending::Kind::exited && run.ending.number == 0) << run.err;
        return root;
    }

    static Rows query(const std::string& root, const std::string& sql) {
        Rows rows;
        EXPECT_EQ(sqlConnect(root + "/home/family.db", "test", "test"), 0) << sqlca.sqlerrm;
        {
            SqlCursor cursor(sql);
            EXPECT_EQ(cursor.open({}), 0) << sqlca.sqlerrm;
            for (SqlRow row; cursor.fetch(row) == 0;) {
                rows.emplace_back();
                for (int i = 0; i < row.columns(); ++i)
                    rows.back().push_back(row.textAt(i));
            }
        }
        sqlRollbackRelease();
        return rows;
    }
};

// ---- the family builder -------------------------------------------------------

/// Every table as sorted lines, by table name.
std::map<std::string, Texts> dumpTables(const std::string& root) {
    std::map<std::string, Texts> tables;
    for (const Texts& name : ToolTest::query(root, "SELECT NAME FROM SQLITE_MASTER WHERE TYPE='table'")) {
        Texts& lines = tables[name[0]];
        for (const Texts& row : ToolTest::query(root, "SELECT * FROM " + name[0])) {
            std::string line;
            for (const std::string& field : row)
                line += field + "\x1f";
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
    }
    return tables;
}

std::vector<int> sidFields(const std::string& sid) {
    std::vector<int> fields;
    std::istringstream in(sid);
    for (std::string field; std::getline(in, field, '.');)
        fields.push_back(std::stoi(field));
    return fields;
}

TEST_F(ToolTest, SameSeedBuildsTheSameDatabase) {
    const auto first = dumpTables(build("first", "--db=vql --vc=pvcs --seed=3"));
    EXPECT_EQ(dumpTables(build("again", "--db=vql --vc=pvcs --seed=3")), first);
    EXPECT_NE(dumpTables(build("other", "--db=vql --vc=pvcs --seed=4")), first);
}

// A scaled family keeps its releases, levels and archive requests and grows
// what they hold.
TEST_F(ToolTest, ScaleGrowsWhatTheReleasesHold) {
    const auto counts = [](const std::string& root) {
        return query(root, "SELECT (SELECT COUNT(*) FROM RELEASES), (SELECT COUNT(*) FROM LEVELS),"
                           " (SELECT COUNT(*) FROM TRACKS), (SELECT COUNT(*) FROM CHANGES)")[0];
    };
    const std::string one = build("one", ""), three = build("three", "--scale=3");
    const Texts base = counts(one), scaled = counts(three);
    EXPECT_EQ(Texts(scaled.begin(), scaled.begin() + 2), Texts(base.begin(), base.begin() + 2));
    for (int i : {2, 3})
        EXPECT_GT(std::stoi(scaled[i]), 5 * std::stoi(base[i]) / 2) << i;
    for (const char* request : {"releaseArchive=rel1\n", "levelArchiveRelease=rel2\n", "levelArchive=r2lvl02\n"})
        EXPECT_NE(readFile(three + "/family.txt").find(request), std::string::npos) << request;
}

// Only the newest full copy of each binary history is kept in a scratch
// copy, so every older version comes from the chain of differences; each
// must have its Versions row's size and, where the family kept a full copy
// too, its bytes.
TEST_F(ToolTest, ReverseDifferencesRebuildEveryBinaryVersion) {
    const std::string root = build("sccs", "--db=oracle --vc=sccs --seed=3");
    std::map<int, Texts> sids;
    std::map<std::string, int> sizes;
    for (const Texts& row : query(root, "SELECT SOURCEID,SID,VERSIZE FROM VERSIONS")) {
        sids[std::stoi(row[0])].push_back(row[1]);
        sizes[row[0] + ":" + row[1]] = std::stoi(row[2]);
    }
    int rebuilt = 0;
    for (auto& [source, list] : sids) {
        const std::string history = root + "/home/vc/" + vcLocation(source, vcSCCSBinary);
        if (!fs::is_directory(history))
            continue;
        std::sort(list.begin(), list.end(),
                  [](const std::string& a, const std::string& b) { return sidFields(a) > sidFields(b); });
        const std::string scratch = path("binary" + std::to_string(source));
        fs::copy(history, scratch);
        for (std::size_t k = 1; k < list.size(); ++k)
            fs::remove(scratch + "/" + list[k]);
        for (const std::string& sid : list) {
            const std::string out = scratch + "/out";
            std::string messages;
            ASSERT_GE(vcGetSCCSBinaryFile(scratch + "/" + sid, out.c_str(), &messages), 0) << messages;
            EXPECT_EQ(int(fs::file_size(out)), sizes[std::to_string(source) + ":" + sid]) << history << " " << sid;
            if (fs::exists(history + "/" + sid)) {
                EXPECT_EQ(readFile(out), readFile(history + "/" + sid)) << history << " " << sid;
            }
            ++rebuilt;
        }
    }
    EXPECT_GT(rebuilt, 2);
}

}  // namespace
}  // namespace pelo
