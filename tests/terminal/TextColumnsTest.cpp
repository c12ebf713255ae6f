// SPDX-License-Identifier: Apache-2.0
// Text fitted to a terminal's columns: measured in display columns (UTF-8 letters one,
// Chinese characters two), help lines wrapped at their hanging indent, progress lines that
// lose their bar before their words.

#include <gtest/gtest.h>

#include <clocale>
#include <sstream>
#include <algorithm>
#include <string>
#include <vector>

#include "app/terminal/TextColumns.h"

namespace {

class TextColumnsTest : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_CTYPE, "C.UTF-8"); }
    void TearDown() override { std::setlocale(LC_CTYPE, "C"); }

    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    static std::string Unblank(std::string text) {
        std::erase_if(text, [](char c) { return c == ' ' || c == '\n'; });
        return text;
    }
};

TEST_F(TextColumnsTest, CountsColumnsNotBytes) {
    EXPECT_EQ(DisplayColumns("Größe"), 5u);
    EXPECT_EQ(DisplayColumns("刷新固件"), 8u);
    EXPECT_EQ(DisplayColumns("\xff\xfe"), 2u) << "a byte that is no character still takes a column";
    EXPECT_EQ(FitColumns("Größe", 5), "Größe");
    EXPECT_EQ(FitColumns("Laufwerk wartet: 12 s", 10), "Laufwer...");
    // A cut never splits a character, nor leaves half of a wide one.
    EXPECT_EQ(FitColumns("等待驱动器应答", 9), "等待驱...");
    EXPECT_EQ(FitColumns("等待驱动器应答", 8), "等待...");
    EXPECT_EQ(FitColumns("ääää", 3), "äää");
}

TEST_F(TextColumnsTest, WrapsLongLinesAtTheirHangingIndentAndKeepsEveryWord) {
    const std::string help =
        "Modes:\n"
        "  --list                 die erkannten Laufwerke auflisten: Kennzeile, dann der Gerätepfad des Laufwerks\n"
        "                         (auch für das Fenster)\n"
        "  --cli [FILE]           kurz\n"
        "Ein Absatz ohne Einzug, der länger ist als die Zeile und deshalb umbrochen werden muss, weiter\n"
        "in der nächsten Zeile.\n"
        "\n"
        "  --json                 以 JSON 代替文本；--list 输出一个文档，即使没有找到驱动器也是如此；--cli 输出一串 JSON 行\n";
    const std::string wrapped = WrapColumns(help, 80);
    for (const std::string& line : Lines(wrapped))
        EXPECT_LE(DisplayColumns(line), 80u) << line;
    const std::vector<std::string> lines = Lines(wrapped);
    ASSERT_EQ(lines.size(), 9u);
    // The carried words join the description's next line, under the description.
    EXPECT_EQ(lines[1].substr(0, 25), "  --list                 ");
    EXPECT_EQ(lines[2], std::string(25, ' ') + "Gerätepfad des Laufwerks (auch für das Fenster)");
    EXPECT_EQ(lines[3], "  --cli [FILE]           kurz") << "a line that fits stays as it is";
    EXPECT_EQ(lines[4].find(' '), 3u) << "a paragraph without indent goes on without one";
    EXPECT_EQ(lines[6], "");
    // Chinese has no spaces: it is broken between two characters, never before a comma.
    EXPECT_EQ(lines[8].rfind(std::string(25, ' '), 0), 0u) << lines[8];
    EXPECT_NE(lines[8].substr(25, 3), "；") << lines[8];
    // Nothing lost, doubled or moved: the same text but for the blanks.
    EXPECT_EQ(Unblank(wrapped), Unblank(help));
    EXPECT_EQ(WrapColumns("short\nlines\n", 80), "short\nlines\n");
    // Lines that leave no room beside their indent still end, and lose nothing.
    const std::string deep = std::string(90, ' ') + "tief eingerückt und lang genug, um umbrochen zu werden\n" +
                             std::string(10, ' ') + std::string(200, 'x') + "\n";
    const std::string laid = WrapColumns(deep, 40);
    EXPECT_EQ(Unblank(laid), Unblank(deep));
    // A line that goes on further in below it continues there.
    EXPECT_EQ(WrapColumns("Aufruf: flashutil [--list | --cli | --build | --info | --extract-image AUS | --history |\n"
                          "                  --verify | --help]\n",
                          80),
              "Aufruf: flashutil [--list | --cli | --build | --info | --extract-image AUS |\n"
              "                  --history | --verify | --help]\n");
}

TEST_F(TextColumnsTest, AProgressLineLosesItsBarBeforeItsWords) {
    const std::string wait = "Warten auf das Laufwerk: 12 s von höchstens 180 s";
    EXPECT_EQ(BarLine(50, 20, 8, "Flash", wait, 0).substr(0, 28), "[##########----------]  50% ");
    // Shortened bar, then none, then the status cut with the wait kept whole.
    const std::string shorter = BarLine(50, 20, 8, "Flash", wait, 75);
    EXPECT_EQ(DisplayColumns(shorter), 75u) << shorter;
    EXPECT_EQ(shorter.rfind("[#####-----]  50%  Flash  Warten", 0), 0u) << shorter;
    const std::string bare = BarLine(50, 20, 8, "Status, der lang ist", wait, 64);
    EXPECT_EQ(DisplayColumns(bare), 64u);
    EXPECT_EQ(bare.rfind("50%  Statu...  Warten", 0), 0u) << bare;
    EXPECT_NE(bare.find(wait), std::string::npos) << bare;
    EXPECT_LE(DisplayColumns(BarLine(100, 20, 8, "Status", wait, 30)), 30u);
}

}  // namespace
