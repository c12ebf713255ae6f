// SPDX-License-Identifier: Apache-2.0
// A translation is used only when it takes the same arguments as the English text: a
// damaged or planted catalogue beside a copy cannot make printf read or write past them.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ui/Translate.h"

namespace {

TEST(TranslateTest, PlaceholdersMustMatchTheEnglish) {
    const struct {
        const char* English;
        const char* Translated;
        bool Used;
    } cases[] = {
        {"%s of %u bytes", "%2$u Byte von %1$s", true},  // reordered
        {"Progress: %d%%\n", "Fortschritt : %d %%\n", true},
        {"%1$s or %1$s", "%1$s oder %1$s", true},
        {"no placeholder", "kein Platzhalter", true},
        {"%s", "%s %s", false},           // one argument more than given
        {"%s to %s", "%s", false},        // one left out: the order of the rest is lost
        {"%1$s or %1$s", "%1$s", false},
        {"%u bytes", "%s Byte", false},   // a number read as a text
        {"%s", "%n", false},              // a write through an argument
        {"%s", "%*s", false},             // a width taken from the arguments
        {"%s", "%x", false},
        {"%s", "%3$s", false},
        {"%s", "%", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameConversions(c.English, c.Translated), c.Used) << c.English << " -> " << c.Translated;
}

// A catalogue with one good and one hostile translation: the hostile one is not used.
TEST(TranslateTest, HostileCatalogueFallsBackToEnglish) {
    if (std::setlocale(LC_MESSAGES, "de_DE.UTF-8") == nullptr && std::setlocale(LC_MESSAGES, "C.UTF-8") == nullptr)
        GTEST_SKIP() << "no UTF-8 locale";
    const auto folder = std::filesystem::temp_directory_path() / ("translate-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "de/LC_MESSAGES");
    {
        std::ofstream po(folder / "de.po");
        po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
              "msgid \"Warning\"\nmsgstr \"Warnung\"\n\n"
              "msgid \"Drive: %s\\n\"\nmsgstr \"Laufwerk: %n%s\\n\"\n";
    }
    const std::string compile =
        "msgfmt -o '" + (folder / "de/LC_MESSAGES/flashutil.mo").string() + "' '" + (folder / "de.po").string() + "'";
    ASSERT_EQ(std::system(compile.c_str()), 0);
    setenv("LANGUAGE", "de", 1);
    bindtextdomain(TextDomain, folder.c_str());

    EXPECT_STREQ(Translate("Warning"), "Warnung");
    EXPECT_STREQ(Translate("Drive: %s\n"), "Drive: %s\n");
    EXPECT_EQ(FormatText(Translate("Drive: %s\n"), "0-0-0"), "Drive: 0-0-0\n");
    EXPECT_STREQ(Translate(""), "");

    std::filesystem::remove_all(folder);
    std::setlocale(LC_MESSAGES, "C");
}

}  // namespace
