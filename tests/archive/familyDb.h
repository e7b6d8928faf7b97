// A small family database for the phase tests: the schema in a scratch
// directory, connected for the test, with the rows each test writes in SQL
// so that what a phase must find is visible next to what it found.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/context.h"
#include "db/client.h"
#include "db/schema.h"
#include "support/scratchDir.h"

namespace pelo::testing {

class FamilyDbTest : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        const std::filesystem::path file = scratch / "family.db";
        std::ofstream{file};  // the client layer never creates a database
        ASSERT_EQ(sqlConnect(file.string(), "family", "secret"), 0) << sqlca.sqlerrm;
        ASSERT_EQ(sqlExecuteScript(familySchemaSql()), 0) << sqlca.sqlerrm;
        archCtx = {};
        archCtx.familyName = "pelofam";
    }

    void TearDown() override {
        archCtx = {};
        if (sqlConnected())
            sqlRollbackRelease();
        ScratchDirTest::TearDown();
    }

    /// Runs set-up statements; a failure fails the test where it is called.
    void rows(const std::string& script) {
        ASSERT_EQ(sqlExecuteScript(script), 0) << sqlca.sqlerrm << "\n" << script;
    }

    static std::vector<int> ids(const IdList& list) { return {list.begin(), list.end()}; }
};

}  // namespace pelo::testing
