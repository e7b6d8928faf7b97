// A family home's configurable-field tables, read narrow and wide, and its report formats.
#include "archive/confField.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <string>

#include "familyDb.h"

namespace pelo {
namespace {


class ConfFieldTest : public testing::FamilyDbTest {
protected:
    void SetUp() override {
        FamilyDbTest::SetUp();
        std::filesystem::create_directories(scratch / "configField");
        archCtx.familyHomeDir = scratch.string();
        defTbl = featTbl = fileTbl = userTbl = {};
    }

    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        FamilyDbTest::TearDown();
    }

    void read(ConfigTable& table, const char* name, const std::string& text) {
        std::ofstream(scratch / "configField" / name) << text;
        readConfigFields(table, (std::string("configField/") + name).c_str());
    }

    // Everything a table holds, one line per entry in use.
    static std::string described(const ConfigTable& table) {
        std::string text = std::to_string(table.count) + " " + std::to_string(table.requiredMask) + " " + table.nameList + "\n";
        for (int i = 0; i < table.count; ++i) {
            const ConfigEntry& e = table.entries[static_cast<std::size_t>(i)];
            text += e.dbName + "|" + e.attrName + "|" + e.label + "|" + e.title + "|" + e.type + "|" +
                    std::to_string(e.create) + std::to_string(e.required) + "\n";
        }
        return text;
    }
};

// Off, short, blank and long lines; "required" needs "create"; twenty kept; a read starts empty.
TEST_F(ConfFieldTest, TableLineRules) {
    const std::string longName = "F5_" + std::string(40, 'x');
    read(defTbl, "DefectConfigTbl", "yes|F1|attr1|Label 1|Title 1|yes|yes|text\nno|OFF|a|l|t|yes|yes|text\n"
                                    "x|F2|attr2|Label 2|Title 2|no|yes\n|F3|attr3\n\non|F4|a4|l4|t4|yes|yes|num|more\n"
                                    "yes|" + longName + "|a5\n");
    const std::string cut = longName.substr(0, 31);
    EXPECT_EQ(described(defTbl), "5 9 F1, F2, F3, F4, " + cut + "\nF1|attr1|Label 1|Title 1|text|11\n"
                                 "F2|attr2|Label 2|Title 2||00\nF3|attr3||||00\nF4|a4|l4|t4|num|11\n" + cut + "|a5||||00\n");
    std::string lines;
    for (int i = 1; i <= 25; ++i)
        lines += "yes|C" + std::to_string(i) + "|a|l|t|yes|yes|text\n";
    read(fileTbl, "FileConfigTbl", lines);
    EXPECT_EQ(std::to_string(fileTbl.count) + " " + fileTbl.entries[19].dbName + " " + std::to_string(fileTbl.requiredMask),
              "20 C20 1048575") << "the first twenty, all required";
    read(defTbl, "DefectConfigTbl", "no|A|a\nno|B|b\n");
    readConfigFields(fileTbl, "configField/NoSuchTbl");
    EXPECT_EQ(described(defTbl) + described(fileTbl), "0 0 \n0 0 \n") << "an earlier read leaves nothing behind";
}

// The same file read in the C and a UTF-8 locale; the wide reader never cuts inside a character.
TEST_F(ConfFieldTest, NarrowAndWideReadersGiveTheSameTable) {
    const std::string text = "yes|PRIO|priorität|Priorität|Größe|yes|no|text\nno|X|x\nyes|LONG|" +
                             std::string(40, 'a') + "|l|t|yes|yes\n";
    read(featTbl, "FeatureConfigTbl", text);
    const std::string narrow = described(featTbl);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    ASSERT_GT(MB_CUR_MAX, 1u);
    read(featTbl, "FeatureConfigTbl", text);
    EXPECT_EQ(described(featTbl), narrow);
    EXPECT_EQ(featTbl.entries[0].label, "Priorität");
    read(userTbl, "UserConfigTbl", "yes|U|" + std::string(30, 'x') + "ä|l\n");
    EXPECT_EQ(userTbl.entries[0].attrName, std::string(30, 'x'));
}

// Configured names follow the fixed columns.  '#' lines are dropped, a ':' line ends a section,
// column sections get "id," and blanks for new-lines; an unended section leaves the rest built in.
TEST_F(ConfFieldTest, ReportColumnListsAndFormatSections) {
    read(defTbl, "DefectConfigTbl", "yes|A\nyes|B\nno|Z\nyes|C\n");
    std::ofstream(scratch / "configField/DefectConfigFormat")
        << "# the main report\nF1 %s\nF2\n:\nname,\n# not a column\nstate\n:x\nS1\n:\nname\n";
    std::ofstream(scratch / "configField/UserConfigFormat") << "M\n:\nlogin\n:\nS\n:\nname\n:\nT\n:\n";
    readConfigReport();
    EXPECT_EQ(reportColumnList(ConfigObject::defect),
              "id,prefix,name,compName,releaseName,ownerLogin,state,answer,severity,abstract,age,envName,levelName,"
              "duplicate,lastUpdate,addDate,assignDate,responseDate,endDate,ownerName,ownerArea,reference,originLogin,"
              "originName,originArea,A,B,C");
    EXPECT_EQ(reportColumnList(ConfigObject::user), "id,login,name,area,address,addDate,dropDate,lastUpdate,superUser");
    const DisplayReports& defect = displayReports(ConfigObject::defect);
    EXPECT_EQ(defect.main.format.value_or("-") + defect.main.columns.value_or("-"), "F1 %s\nF2\nid,name, state ");
    EXPECT_FALSE(defect.second.format || defect.third.format) << "its column section never ended";
    const DisplayReports& user = displayReports(ConfigObject::user);
    EXPECT_EQ(user.second.columns.value_or("-") + user.third.format.value_or("-"), "id,name T\n");
    EXPECT_FALSE(displayReports(ConfigObject::file).main.format) << "no file: the built-in report";
}

}  // namespace
}  // namespace pelo
