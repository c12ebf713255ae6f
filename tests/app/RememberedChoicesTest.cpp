// SPDX-License-Identifier: Apache-2.0
// What the menu-started builder keeps of the person's choices: where the file lies, which
// files it is read from, and that keeping one choice leaves the rest of the file as it was.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/gui/RememberedChoices.h"
#include "image/TempDirectory.h"

namespace {

class RememberedChoicesTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(Dir / "config/flashutil"); }
    TempDirectory Dir;
};

}  // namespace

TEST_F(RememberedChoicesTest, TheFileIsInTheUsersConfigurationFolder) {
    EXPECT_EQ(RememberedChoicesPath({"/x/cfg", "/home/a"}), "/x/cfg/flashutil/desktop.conf");
    EXPECT_EQ(RememberedChoicesPath({"", "/home/a"}), "/home/a/.config/flashutil/desktop.conf");
    EXPECT_EQ(RememberedChoicesPath({"", "home/a"}), "");
}

// The kept choices are read only from a small regular file: a FIFO, a device, a directory or
// a file over the limit gives none, says why and is not replaced by keeping a choice. A CR
// before the line feed is not the path's; what is not an absolute path is not a choice.
TEST_F(RememberedChoicesTest, KeptChoicesAreReadOnlyFromASmallRegularFile) {
    const std::string file = Dir / "config/flashutil/desktop.conf";
    std::string why;
    EXPECT_EQ(ReadRememberedChoices(file, &why).ModelFile, "");
    EXPECT_EQ(why, "");  // none kept yet: nothing to say
    WriteFile(file, "model-file=/m.INI\r\nimage-folder=relative\r\n");
    RememberedChoices kept = ReadRememberedChoices(file, &why);
    EXPECT_EQ(kept.ModelFile, "/m.INI");
    EXPECT_EQ(kept.ImageFolder, "");
    EXPECT_EQ(why, "");
    WriteFile(file, "model-file=/m.INI\n" + std::string(RememberedChoicesLimit, '#'));
    EXPECT_EQ(ReadRememberedChoices(file, &why).ModelFile, "");
    EXPECT_EQ(why, file + ": longer than 64 KiB");
    EXPECT_FALSE(RememberChoice(file, "image-folder", "/new", why));
    EXPECT_EQ(std::filesystem::file_size(file), RememberedChoicesLimit + 18);

    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);  // nobody writes it: a read would wait for ever
    why.clear();
    EXPECT_EQ(ReadRememberedChoices(file, &why).ModelFile, "");
    EXPECT_EQ(why, file + ": not a regular file");
    EXPECT_FALSE(RememberChoice(file, "image-folder", "/new", why));
    EXPECT_TRUE(std::filesystem::is_fifo(file));
    std::filesystem::remove(file);
    std::filesystem::create_symlink("/dev/zero", file);
    EXPECT_EQ(ReadRememberedChoices(file, &why).ModelFile, "");
    EXPECT_EQ(why, file + ": not a regular file");
}

// Keeping one choice keeps the other and every line it does not know; a path with a line
// break, which would read back as another, is refused and the file left as it was.
TEST_F(RememberedChoicesTest, KeptChoicesReplaceOnlyTheirOwnLine) {
    const std::string file = Dir / "config/flashutil/desktop.conf";
    WriteFile(file, "# mine\nimage-folder=/old\nimage-folder=/older\n");
    std::string why;
    ASSERT_TRUE(RememberChoice(file, "model-file", "/m.INI", why)) << why;
    ASSERT_TRUE(RememberChoice(file, "image-folder", "/new", why)) << why;
    EXPECT_FALSE(RememberChoice(file, "image-folder", "/a\nmodel-file=/evil", why));
    EXPECT_NE(why.find(file), std::string::npos) << why;
    const RememberedChoices kept = ReadRememberedChoices(file);
    EXPECT_EQ(kept.ModelFile, "/m.INI");
    EXPECT_EQ(kept.ImageFolder, "/new");
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "# mine\nimage-folder=/new\nmodel-file=/m.INI\n");
}

