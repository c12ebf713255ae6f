// SPDX-License-Identifier: Apache-2.0
// The INI reader's rules for what the model file may hold.

#include <gtest/gtest.h>

#include "model/IniFile.h"

namespace {

std::string Get(const std::string& text, const std::string& section, const std::string& key) {
    return IniFile::Parse(text).Value(section, key, "<none>");
}

TEST(IniFile, NamesMatchRegardlessOfCaseAndValuesAreTrimmed) {
    const std::string text = "[model00]\n  model  =   QRW-70512K  \t\nfw-range=QF01-QF9Z\n";
    EXPECT_EQ(Get(text, "MODEL00", "Model"), "QRW-70512K");
    EXPECT_EQ(Get(text, "Model00", "FW-RANGE"), "QF01-QF9Z");
    EXPECT_EQ(Get(text, "MODEL01", "Model"), "<none>");
    EXPECT_EQ(Get(text, "MODEL00", "Vendor"), "<none>");
}

TEST(IniFile, ValueIsEverythingAfterTheFirstEquals) {
    EXPECT_EQ(Get("[s]\nk = a=b = c\n", "s", "k"), "a=b = c");
    EXPECT_EQ(Get("[s]\nk=\n", "s", "k"), "");
    EXPECT_EQ(Get("[s]\n=orphan\nk=v\n", "s", "k"), "v");
}

TEST(IniFile, CommentsAreWholeLinesOnly) {
    const std::string text = "; a comment\n# another\n[s]\n;k=commented\n  # k=also\nk=A ; not a comment # either\n";
    EXPECT_EQ(Get(text, "s", "k"), "A ; not a comment # either");
}

TEST(IniFile, OnePairOfMatchingQuotesIsRemoved) {
    const std::string text = "[s]\na=\"  FLASH-ALL \"\nb='x'\nc=\"unbalanced\nd=\"mixed'\ne=\"\"\nf=\"a\"b\"\n";
    EXPECT_EQ(Get(text, "s", "a"), "  FLASH-ALL ");
    EXPECT_EQ(Get(text, "s", "b"), "x");
    EXPECT_EQ(Get(text, "s", "c"), "\"unbalanced");
    EXPECT_EQ(Get(text, "s", "d"), "\"mixed'");
    EXPECT_EQ(Get(text, "s", "e"), "");
    EXPECT_EQ(Get(text, "s", "f"), "a\"b");
}

TEST(IniFile, FirstOfDuplicateKeysAndSectionsWins) {
    const std::string text = "[s]\nk=first\nK=second\n[other]\nk=o\n[S]\nk=third\nnew=only-in-second\n";
    EXPECT_EQ(Get(text, "s", "k"), "first");
    // Only the first section of a name is looked at, also for keys it lacks.
    EXPECT_EQ(Get(text, "s", "new"), "<none>");
    EXPECT_EQ(Get(text, "other", "k"), "o");
}

TEST(IniFile, ByteOrderMarkAndLineEnds) {
    EXPECT_EQ(Get("\xEF\xBB\xBF[s]\r\nk=crlf\r\nj=v\r\n", "s", "k"), "crlf");
    EXPECT_EQ(Get("\xEF\xBB\xBF[s]\r\nk=crlf\r\nj=v\r\n", "s", "j"), "v");
    EXPECT_EQ(Get("[s]\rk=old-mac\rj=x", "s", "k"), "old-mac");
    EXPECT_EQ(Get("[s]\nk=no final line end", "s", "k"), "no final line end");
    // A mark anywhere but at the start is text.
    EXPECT_EQ(Get("[s]\n\xEF\xBB\xBFk=v\n", "s", "\xEF\xBB\xBFk"), "v");
}

TEST(IniFile, SectionLines) {
    const std::string text = "k=before any section\n[ s ] trailing text\nk=v\n[broken\nk=w\n[]\nk=empty\n";
    EXPECT_EQ(Get(text, "s", "k"), "v");  // "[broken" opens nothing: k=w is a duplicate in s
    EXPECT_EQ(Get(text, "", "k"), "empty");
    EXPECT_EQ(Get(text, "broken", "k"), "<none>");
}

TEST(IniFile, VeryLongLinesAreKeptWhole) {
    const std::string value(200000, 'x');
    EXPECT_EQ(Get("[s]\nk=" + value + "\nj=after\n", "s", "k"), value);
    EXPECT_EQ(Get("[s]\nk=" + value + "\nj=after\n", "s", "j"), "after");
}

TEST(IniFile, OddBytesDoNotBreakIt) {
    const std::string text = std::string("[s]\nk=a\0b\nj=\xFF\xFE\n", 16);
    EXPECT_EQ(Get(text, "s", "k"), std::string("a\0b", 3));
    EXPECT_EQ(Get(text, "s", "j"), "\xFF\xFE");
    EXPECT_EQ(Get("", "s", "k"), "<none>");
    EXPECT_EQ(Get("\n\n\r\r  \t\n", "s", "k"), "<none>");
}

}  // namespace
