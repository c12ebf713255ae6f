// SPDX-License-Identifier: Apache-2.0
// A translation is used only when it takes the same arguments as the English text and
// writes them alike: a damaged catalogue cannot make printf read or write past them, print
// megabytes or hide a value. A translated answer word that means the other answer in
// English is not taken for either.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/terminal/TerminalUserInterface.h"
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
        {"Drive: %s", "Laufwerk: %100000000s", false},  // a width of its own: megabytes printed
        {"Revisions %s", "Revisionen %.0s", false},     // a precision of its own: the value hidden
        {"%s", "%ls", false},                           // a length of its own: another type read
        {"%u bytes", "%lu Byte", false},
        {"%s", "%-5s", false},                          // a flag of its own
        {"%u", "%d", false},
        {"%d%%", "%2$d%%", false},
        {"%s and %u", "%2$u und %1$-3s", false},
        {"no placeholder", "%s", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameConversions(c.English, c.Translated), c.Used) << c.English << " -> " << c.Translated;
}

// A German catalogue of the given entries (msgid, msgstr), bound for the test's lifetime.
class HostileCatalogue {
public:
    explicit HostileCatalogue(const std::vector<std::pair<std::string, std::string>>& entries)
        : Folder_(std::filesystem::temp_directory_path() /
                  ("translate-test-" + std::to_string(getpid()) + "-" + std::to_string(++Made_))) {
        std::filesystem::create_directories(Folder_ / "de/LC_MESSAGES");
        {
            std::ofstream po(Folder_ / "de.po");
            po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
            for (const auto& [id, text] : entries)
                po << "\nmsgid \"" << id << "\"\nmsgstr \"" << text << "\"\n";
        }
        const std::string compile = "msgfmt -o '" + (Folder_ / "de/LC_MESSAGES/flashutil.mo").string() + "' '" +
                                    (Folder_ / "de.po").string() + "'";
        Compiled_ = std::system(compile.c_str()) == 0;
        setenv("LANGUAGE", "de", 1);
        bindtextdomain(TextDomain, Folder_.c_str());
    }
    ~HostileCatalogue() {
        std::filesystem::remove_all(Folder_);
        std::setlocale(LC_MESSAGES, "C");
    }
    bool Compiled() const { return Compiled_; }

private:
    static inline int Made_ = 0;  // gettext keeps a catalogue it loaded: each one has a folder of its own
    std::filesystem::path Folder_;
    bool Compiled_ = false;
};

bool SpeakGerman() {
    return std::setlocale(LC_MESSAGES, "de_DE.UTF-8") != nullptr || std::setlocale(LC_MESSAGES, "C.UTF-8") != nullptr;
}

// A catalogue with one good and several hostile translations: the hostile ones are not used.
TEST(TranslateTest, HostileCatalogueFallsBackToEnglish) {
    if (!SpeakGerman())
        GTEST_SKIP() << "no UTF-8 locale";
    HostileCatalogue catalogue({{"Warning", "Warnung"},
                                {"Drive: %s\\n", "Laufwerk: %n%s\\n"},
                                {"Progress: %d%%\\n", "Fortschritt: %100000000d%%\\n"},
                                {"Information", "Hinweis %s"}});
    ASSERT_TRUE(catalogue.Compiled());

    EXPECT_STREQ(Translate("Warning"), "Warnung");
    EXPECT_STREQ(Translate("Drive: %s\n"), "Drive: %s\n");
    EXPECT_EQ(FormatText(Translate("Drive: %s\n"), "0-0-0"), "Drive: 0-0-0\n");
    EXPECT_STREQ(Translate("Progress: %d%%\n"), "Progress: %d%%\n");
    EXPECT_STREQ(Translate("Information"), "Information");
    EXPECT_STREQ(Translate(""), "");
}

// What a person types at the terminal's prompt: a word the catalogue makes yes but English
// reads as no (or the reverse) is neither, and is asked again; the translated words that
// agree with English are understood.
TEST(TranslateTest, AnAnswerIsTakenOnlyWhereTheLanguagesAgree) {
    if (!SpeakGerman())
        GTEST_SKIP() << "no UTF-8 locale";
    HostileCatalogue catalogue({{"y", "n"}, {"yes", "ja"}, {"no", "nein"}});
    ASSERT_TRUE(catalogue.Compiled());
    const struct {
        const char* Typed;
        MessageAnswer Answer;
        bool AskedAgain;
    } rows[] = {
        {"n\n", MessageAnswer::No, true},  // "n" is the translated "y" and English "n": asked again, then Escape
        {"n\ny\n", MessageAnswer::Yes, true},
        {"ja\n", MessageAnswer::Yes, false},
        {"nein\n", MessageAnswer::No, false},
        {"no\n", MessageAnswer::No, false},
        {"yes\n", MessageAnswer::Yes, false},
    };
    for (const auto& row : rows) {
        std::FILE* in = fmemopen(const_cast<char*>(row.Typed), std::strlen(row.Typed), "r");
        char* printed = nullptr;
        std::size_t printedSize = 0;
        std::FILE* out = open_memstream(&printed, &printedSize);
        ASSERT_TRUE(in && out);
        MessageAnswer answer;
        {
            TerminalUserInterface terminal(false, {in, out, out, true, false});
            answer = terminal.ShowMessage({"Update FW:1.00 to FW:R120 ?", MessageKind::Confirmation,
                                           MessageButtons::YesNo, MessageAnswer::No, "", Question::UpdateConfirmation});
        }
        std::fclose(out);
        std::fclose(in);
        const std::string shown(printed, printedSize);
        std::free(printed);
        EXPECT_EQ(answer, row.Answer) << row.Typed;
        EXPECT_EQ(shown.find("Please answer y or n.") != std::string::npos, row.AskedAgain) << row.Typed << shown;
    }
}

}  // namespace
