// SPDX-License-Identifier: Apache-2.0
// Where the builder finds its model file: --ini, beside the program, the user's
// configuration directory, the system's; and what it says when there is none.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include "TempDirectory.h"
#include "model/ModelConfig.h"
#include "model/ModelFileLookup.h"
#include "support/ScriptedUserInterface.h"

namespace {

class ModelFileLookup : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* dir : {"bin", "config/flashutil", "etc"})
            std::filesystem::create_directories(Dir / dir);
    }
    ModelFileLocation Locate(const std::string& given = "", const std::string& chosen = "") const {
        return LocateModelFile(Program, given, Environment, Dir / "etc", chosen);
    }

    TempDirectory Dir;
    std::string Program = Dir / "bin/flashutil";
    std::string Beside = Dir / "bin/flashutil.INI";
    std::string User = Dir / "config/flashutil/flashutil.INI";
    std::string System = Dir / "etc/flashutil.INI";
    ConfigEnvironment Environment{Dir / "config", "/home/nobody"};
};

TEST_F(ModelFileLookup, TakesTheFirstPlaceThatHasAFile) {
    // The file chosen from the menu comes after the user's own and before the system's.
    const std::string chosen = Dir / "chosen.INI";
    for (const std::string& file : {Beside, User, chosen, System})
        WriteFile(file, "x");
    EXPECT_EQ(Locate("", chosen).Path, Beside);
    std::filesystem::remove(Beside);
    EXPECT_EQ(Locate("", chosen).Path, User);
    std::filesystem::remove(User);
    EXPECT_EQ(Locate("", chosen).Path, chosen);
    EXPECT_EQ(Locate().Path, System);  // without it, as for every builder not started from the menu
    std::filesystem::remove(chosen);
    EXPECT_EQ(Locate("", chosen).Path, System);
    std::filesystem::remove(System);
    const ModelFileLocation none = Locate("", chosen);
    EXPECT_EQ(none.Path, "");
    EXPECT_EQ(none.Places, (std::vector<std::string>{Beside, User, chosen, System}));
}

TEST_F(ModelFileLookup, AFileThatCannotBeReadIsStillTheOneChosen) {
    std::filesystem::create_directory(Beside);  // there, but no file to read: its reader says so
    WriteFile(User, "x");
    EXPECT_EQ(Locate().Path, Beside);
}

TEST_F(ModelFileLookup, TheGivenFileIsTheOnlyPlace) {
    WriteFile(Beside, "x");
    const ModelFileLocation given = Locate(Dir / "missing.ini");
    EXPECT_EQ(given.Path, Dir / "missing.ini");
    EXPECT_EQ(given.Places, std::vector<std::string>{Dir / "missing.ini"});
}

TEST_F(ModelFileLookup, UserDirectoryFollowsTheXdgRules) {
    auto userPlace = [&](ConfigEnvironment environment) {
        const std::vector<std::string> places = ModelFilePlaces(Program, environment, "/etc/flashutil");
        return places.size() == 3 ? places[1] : std::string("(none)");
    };
    EXPECT_EQ(userPlace({"/x/cfg", "/home/a"}), "/x/cfg/flashutil/flashutil.INI");
    EXPECT_EQ(userPlace({"", "/home/a"}), "/home/a/.config/flashutil/flashutil.INI");
    EXPECT_EQ(userPlace({"relative/cfg", "/home/a"}), "/home/a/.config/flashutil/flashutil.INI");
    EXPECT_EQ(userPlace({"", ""}), "(none)");
    // A relative HOME is ignored as a relative XDG_CONFIG_HOME is: never the current directory.
    EXPECT_EQ(userPlace({"", "home/a"}), "(none)");
    EXPECT_EQ(userPlace({"relative/cfg", "relative/home"}), "(none)");
    EXPECT_EQ(ModelFilePlaces(Program, {}, "/etc/flashutil").back(), "/etc/flashutil/flashutil.INI");
}

TEST_F(ModelFileLookup, NoFileAnywhereNamesEveryPlaceAndHowToStart) {
    ScriptedUserInterface ui;
    ModelLists lists;
    std::string why;
    EXPECT_FALSE(RetriveINI(Locate(), "/usr/share/doc/flashutil/examples/flashutil.INI", ui, lists, &why));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Can't load " + Beside + "\nNot found either: " + User + ", " + System +
                                       ".\nTo start, copy the example model file and add your drive models to it:\n"
                                       "  mkdir -p " + Dir / "config/flashutil" +
                                       " && cp /usr/share/doc/flashutil/examples/flashutil.INI " + User);
    EXPECT_EQ(why, "No such file or directory");
}

TEST_F(ModelFileLookup, TheModelsComeFromTheFileFoundAndProfilesAreBesideIt) {
    WriteFile(User, "[MODEL00]\nModel=M\nInquiry=I\nFW-Range=1-2\nBINMask=*\nVendor=V\nNote=N\nProfiles=p.prf\n");
    ScriptedUserInterface ui;
    ModelLists lists;
    ASSERT_TRUE(RetriveINI(Locate(), "", ui, lists));
    EXPECT_EQ(lists.ModelLines, std::vector<std::string>{"1-2 I"});
    EXPECT_EQ(lists.ProfilesList[0], Dir / "config/flashutil/p.prf");
}

TEST(ExampleModelFile, BesideAnInstalledPrefixElseThePackagesPlace) {
    TempDirectory prefix;
    std::filesystem::create_directories(prefix / "share/doc/flashutil/examples");
    EXPECT_EQ(ExampleModelFile(prefix / "bin/flashutil"), "/usr/share/doc/flashutil/examples/flashutil.INI");
    WriteFile(prefix / "share/doc/flashutil/examples/flashutil.INI", "x");
    EXPECT_EQ(ExampleModelFile(prefix / "bin/flashutil"), prefix / "share/doc/flashutil/examples/flashutil.INI");
}

}  // namespace
