// SPDX-License-Identifier: Apache-2.0
// Reading the model file beside the program.

#include <gtest/gtest.h>

#include "TempDirectory.h"
#include "model/IniFile.h"
#include "model/ModelConfig.h"
#include "support/ScriptedUserInterface.h"

namespace {

std::string Section(int n, const std::string& skip = "", const std::string& model = "QRW-70512K") {
    char name[16];
    std::snprintf(name, sizeof name, "MODEL%02d", n);
    std::string text = std::string("[") + name + "]\n";
    const std::pair<std::string, std::string> keys[] = {
        {"Model", model}, {"Inquiry", "KAVENO  QRW-70514S"}, {"FW-Range", "QF01-QF9Z"},
        {"BINMask", "*.BIN"}, {"Vendor", "Kavenotek"}, {"Note", "Kaveno"}};
    for (const auto& [key, value] : keys)
        if (key != skip)
            text += key + "=" + value + "\n";
    return text;
}

class ModelConfigFile : public ::testing::Test {
protected:
    TempDirectory Dir;
    std::string Program = Dir / "flashutil";
    std::string Ini = Dir / "flashutil.INI";
    ScriptedUserInterface Ui;
    ModelLists Lists;

    bool Read(const std::string& text) {
        WriteFile(Ini, text);
        return RetriveINI(Program, Ui, Lists);
    }
};

TEST(ModelConfigPath, ReplacesOrAppendsTheExtension) {
    EXPECT_EQ(ModelConfigPath("/opt/tools/BUILD.EXE"), "/opt/tools/BUILD.INI");
    EXPECT_EQ(ModelConfigPath("/opt/tools/flashutil"), "/opt/tools/flashutil.INI");
    EXPECT_EQ(ModelConfigPath("/opt/v1.2/flashutil"), "/opt/v1.2/flashutil.INI");
    EXPECT_EQ(ModelConfigPath("/opt/a.b.c"), "/opt/a.b.INI");
    EXPECT_EQ(ModelConfigPath("/opt/.hidden"), "/opt/.hidden.INI");
    EXPECT_EQ(ModelConfigPath("tool.x"), "tool.INI");
}

TEST_F(ModelConfigFile, MissingFile) {
    EXPECT_FALSE(RetriveINI(Program, Ui, Lists));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Can't load " + Ini});
    EXPECT_EQ(Ui.Messages[0].Buttons, MessageButtons::Ok);
}

TEST_F(ModelConfigFile, DirectoryOrUnreadableFileCannotBeLoaded) {
    std::filesystem::create_directory(Ini);
    std::string why;
    EXPECT_FALSE(RetriveINI(Program, Ui, Lists, &why));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Can't load " + Ini});
    EXPECT_EQ(why, "Is a directory");
}

TEST_F(ModelConfigFile, OneCompleteSection) {
    ASSERT_TRUE(Read(Section(0)));
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_EQ(Lists.ModelLines, std::vector<std::string>{"QF01-QF9Z KAVENO  QRW-70514S"});
    // The file's section that ends the reading leaves an entry in each list too.
    EXPECT_EQ(Lists.ModelList.size(), 2u);
    EXPECT_EQ(Lists.ModelList[0], "QRW-70512K");
    EXPECT_EQ(Lists.BinMaskList[0], "*.BIN");
    EXPECT_EQ(Lists.VendorList[0], "Kavenotek");
    EXPECT_EQ(Lists.NoteList[0], "Kaveno");
}

TEST_F(ModelConfigFile, NoModelInFirstSection) {
    EXPECT_FALSE(Read("[MODEL01]\nModel=x\n"));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{Ini + " > Session MODEL00 error!"});
    Ui = {};
    EXPECT_FALSE(Read(""));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{Ini + " > Session MODEL00 error!"});
}

TEST_F(ModelConfigFile, GapEndsTheModels) {
    ASSERT_TRUE(Read(Section(0) + Section(2)));
    EXPECT_EQ(Lists.ModelLines.size(), 1u);
}

TEST_F(ModelConfigFile, IncompleteSectionSpoilsTheFile) {
    for (const char* key : {"Inquiry", "FW-Range", "BINMask", "Vendor", "Note"}) {
        Ui = {};
        EXPECT_FALSE(Read(Section(0) + Section(1, key))) << key;
        EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{Ini + " > Session MODEL01 error!"}) << key;
    }
}

TEST_F(ModelConfigFile, FailIsMissingButOnlyInCapitals) {
    std::string text = Section(0);
    text.replace(text.find("Vendor=Kavenotek"), 16, "Vendor=FAIL");
    EXPECT_FALSE(Read(text));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{Ini + " > Session MODEL00 error!"});
    Ui = {};
    text = Section(0);
    text.replace(text.find("Vendor=Kavenotek"), 16, "Vendor=fail");
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(Lists.VendorList[0], "fail");
    // A "Model" of FAIL ends the models like a missing section.
    ASSERT_TRUE(Read(Section(0) + Section(1, "", "FAIL")));
    EXPECT_EQ(Lists.ModelLines.size(), 1u);
}

TEST_F(ModelConfigFile, Normalisation) {
    std::string text = Section(0, "", std::string(30, 'M'));
    text += "";
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(Lists.ModelList[0], std::string(24, 'M'));
    EXPECT_EQ(Lists.InquiryList[0], "KAVENO  QRW-70514S      ");  // 18 characters padded to 24
    EXPECT_EQ(Lists.ModelLines[0], "QF01-QF9Z KAVENO  QRW-70514S");

    const std::string longText(40, 'L');
    ASSERT_TRUE(Read("[MODEL00]\nModel=m\nInquiry=" + longText + "\nFW-Range=" + longText + "\nBINMask=" + longText +
                     "\nVendor=" + longText + "\nNote=" + longText + "\n"));
    EXPECT_EQ(Lists.InquiryList[0], std::string(24, 'L'));
    EXPECT_EQ(Lists.FwRangeList[0], std::string(24, 'L'));
    EXPECT_EQ(Lists.VendorList[0], std::string(24, 'L'));
    EXPECT_EQ(Lists.NoteList[0], std::string(24, 'L'));
    EXPECT_EQ(Lists.BinMaskList[0], longText);  // the mask is no identity field: kept whole
    EXPECT_EQ(Lists.ModelLines[0], longText + " " + longText);
}

TEST_F(ModelConfigFile, AHundredSectionsAndNoMore) {
    std::string text;
    for (int n = 0; n < 100; ++n)
        text += Section(n);
    text += "[MODEL100]\nModel=never read\n";
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(Lists.ModelLines.size(), 100u);
    EXPECT_EQ(Lists.ModelList.size(), 100u);
}

TEST_F(ModelConfigFile, WindowsStyleFile) {
    ASSERT_TRUE(Read("\xEF\xBB\xBF; models\r\n[model00]\r\nMODEL = \"QRW-70512K\"\r\ninquiry=KAVENO  QRW-70514S\r\n"
                     "fw-range=QF01-QF9Z\r\nbinmask=*.BIN\r\nvendor=Kavenotek\r\nnote=FLASH-ALL\r\n"));
    EXPECT_EQ(Lists.ModelList[0], "QRW-70512K");
    EXPECT_EQ(Lists.NoteList[0], "FLASH-ALL");
    EXPECT_EQ(Lists.ModelLines[0], "QF01-QF9Z KAVENO  QRW-70514S");
}

TEST(ModelConfigExample, TheShippedExampleReads) {
    TempDirectory dir;
    std::filesystem::copy_file(FLASHUTIL_SOURCE_DIR "/examples/flashutil.INI", dir / "flashutil.INI");
    ScriptedUserInterface ui;
    ModelLists lists;
    ASSERT_TRUE(RetriveINI(dir / "flashutil", ui, lists)) << (ui.Messages.empty() ? "" : ui.Messages[0].Text);
    ASSERT_EQ(lists.ModelLines.size(), 2u);
    EXPECT_TRUE(lists.NoteList[0] == "FLASH-ALL" || lists.NoteList[1] == "FLASH-ALL");
}

}  // namespace
