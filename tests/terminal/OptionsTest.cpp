// SPDX-License-Identifier: Apache-2.0
// The command line as a person types it: short forms, abbreviations, "--", repeated drive
// options, and one clear line for every mistake.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/setup/Options.h"

namespace {

struct Parsed {
    std::optional<Options> Result;
    std::string Error;
};

Parsed Parse(std::initializer_list<const char*> words) {
    std::vector<std::string> storage{"flashutil"};
    storage.insert(storage.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : storage)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Parsed parsed;
    parsed.Result = ParseOptions(static_cast<int>(storage.size()), argv.data(), parsed.Error);
    return parsed;
}

TEST(Options, ShortFormsMeanTheSameAsTheLongOnes) {
    const Parsed bundled = Parse({"--cli", "-yv", "-d", "/dev/sg1"});
    ASSERT_TRUE(bundled.Result) << bundled.Error;
    EXPECT_TRUE(bundled.Result->Yes);
    EXPECT_TRUE(bundled.Result->Verbose);
    EXPECT_EQ(bundled.Result->Devices, std::vector<std::string>{"/dev/sg1"});

    const Parsed attached = Parse({"--cli", "-q", "-d/dev/sg2"});
    ASSERT_TRUE(attached.Result) << attached.Error;
    EXPECT_TRUE(attached.Result->Quiet);
    EXPECT_EQ(attached.Result->Devices, std::vector<std::string>{"/dev/sg2"});

    EXPECT_EQ(Parse({"-V"}).Result->Command, Options::Mode::Version);
    EXPECT_EQ(Parse({"-h"}).Result->Command, Options::Mode::Help);
}

TEST(Options, UnambiguousAbbreviationsAreAcceptedAndAmbiguousOnesNamed) {
    const Parsed abbreviated = Parse({"--cl", "--virt=count=2", "--trace", "t.jsonl", "--trace-d"});
    ASSERT_TRUE(abbreviated.Result) << abbreviated.Error;
    EXPECT_EQ(abbreviated.Result->Command, Options::Mode::Cli);
    EXPECT_EQ(abbreviated.Result->VirtualDrives, std::vector<std::string>{"count=2"});
    EXPECT_TRUE(abbreviated.Result->TraceData);

    const Parsed ambiguous = Parse({"--cli", "--tr", "x"});
    EXPECT_FALSE(ambiguous.Result);
    EXPECT_NE(ambiguous.Error.find("'--tr' is ambiguous"), std::string::npos) << ambiguous.Error;
    EXPECT_NE(ambiguous.Error.find("--trace-data"), std::string::npos) << ambiguous.Error;
}

TEST(Options, DriveOptionsMayBeRepeatedInOrder) {
    const Parsed parsed = Parse({"--cli", "--all", "--virtual-drive", "--virtual-drive=fail=5:05/24/00",
                                 "--virtual-drive=count=3"});
    ASSERT_TRUE(parsed.Result) << parsed.Error;
    EXPECT_TRUE(parsed.Result->All);
    EXPECT_EQ(parsed.Result->VirtualDrives,
              (std::vector<std::string>{"", "fail=5:05/24/00", "count=3"}));

    const Parsed compact = Parse({"--cli", "--all", "--json=compact", "--json"});
    ASSERT_TRUE(compact.Result) << compact.Error;
    EXPECT_TRUE(compact.Result->Json && compact.Result->JsonCompact);  // a later plain --json keeps it compact

    const Parsed devices = Parse({"--list", "--device", "/dev/sg1", "-d", "/dev/sg3"});
    ASSERT_TRUE(devices.Result) << devices.Error;
    EXPECT_EQ(devices.Result->Devices, (std::vector<std::string>{"/dev/sg1", "/dev/sg3"}));
}

TEST(Options, DoubleDashEndsTheOptionsSoAFileMayStartWithADash) {
    const Parsed info = Parse({"--info", "--json", "--", "--odd-name.EXE"});
    ASSERT_TRUE(info.Result) << info.Error;
    EXPECT_EQ(info.Result->Command, Options::Mode::Info);
    EXPECT_EQ(info.Result->Subject, "--odd-name.EXE");

    const Parsed extract = Parse({"--extract-image", "out.bin", "QF20.EXE"});
    ASSERT_TRUE(extract.Result) << extract.Error;
    EXPECT_EQ(extract.Result->ExtractOutput, "out.bin");
    EXPECT_EQ(extract.Result->Subject, "QF20.EXE");

    // The utility a run flashes, or --verify checks, read from its file; the folder --list fits.
    for (const auto& words : {std::initializer_list<const char*>{"--cli", "--", "QF20.EXE"}, {"--verify", "QF20.EXE"},
                              {"QF20.EXE"}, {"--cli", "--all", "QF20.EXE"}, {"--list", "QF20.EXE"}}) {
        const Parsed subject = Parse(words);
        ASSERT_TRUE(subject.Result) << subject.Error;
        EXPECT_EQ(subject.Result->Subject, "QF20.EXE");
    }

    const Parsed stray = Parse({"--history", "--", "QF20.EXE"});
    EXPECT_FALSE(stray.Result);
    EXPECT_EQ(stray.Error, "unexpected argument 'QF20.EXE'");
}

TEST(Options, EveryMistakeIsOneLineNamingTheOption) {
    struct Case {
        std::initializer_list<const char*> Words;
        const char* Error;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "unknown option '--frobnicate' (see --help)"},
        {{"-x"}, "unknown option '-x' (see --help)"},
        {{"--cli", "--yes=1"}, "option --yes takes no value"},
        {{"--cli", "--trace"}, "option --trace needs a value"},
        {{"--cli", "-d"}, "option -d needs a value"},
        {{"--cli", "--trace", ""}, "option --trace needs a value"},
        {{"--build", "--model", "x1", "--image", "a"}, "--model takes a model number from 0 to 99, not 'x1'"},
        {{"--list", "--cli"},
         "choose one of --list, --cli, --build, --info, --extract-image, --history, --verify, --help, --version"},
        {{"--cli", "--sign-key", "maker.key"}, "--sign-key goes with --build"},
        {{"--info", ""}, "--info was given an empty file name"},
        {{"--extract-image", "out.bin", ""}, "--extract-image was given an empty file name"},
        {{"--extract-image", "a", "--extract-image", "b"}, "option --extract-image is given twice with different files"},
        {{"--list", "--yes"}, "--yes goes with --cli"},
        {{"--list", "--all"}, "--all goes with --cli"},
        {{"--build", "--json", "--model", "0", "--image", "a"}, "--json goes with --list, --cli, --info or --history"},
        {{"--cli", "--json=full"}, "--json takes no value but compact, not 'full'"},
        {{"--list", "--json=compact"}, "--json=compact goes with --cli"},
        {{"--cli", "-v", "-q"}, "--verbose and --quiet do not go together"},
        {{"--list", "--ini", "m.INI"}, "--ini goes with --build or the window"},
        {{"--info", "-d", "/dev/sg1"}, "--info uses no drive"},
        {{"--history", "--virtual-drive"}, "--history uses no drive"},
        {{"--list", "-platform", "offscreen"}, "window options go with the window only"},
        {{"--cli", "--choose-utility"}, "--choose-utility and --choose-model-file go with the window"},
        {{"--choose-utility", "--choose-model-file"}, "--choose-utility and --choose-model-file do not go together"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse(c.Words);
        EXPECT_FALSE(parsed.Result) << *c.Words.begin();
        EXPECT_EQ(parsed.Error, c.Error);
    }
}

TEST(Options, TheSameCommandTwiceIsThatCommand) {
    for (const auto& words : {std::initializer_list<const char*>{"--cli", "--cli"}, {"--info", "--info", "a.EXE"},
                              {"--extract-image", "x", "--extract-image", "x"}}) {
        const Parsed parsed = Parse(words);
        EXPECT_TRUE(parsed.Result) << *words.begin() << ": " << parsed.Error;
    }
}

TEST(Options, QtWindowOptionsPassThroughToTheWindow) {
    const Parsed parsed = Parse({"-platform", "offscreen", "--ini", "m.INI", "-style", "fusion"});
    ASSERT_TRUE(parsed.Result) << parsed.Error;
    EXPECT_EQ(parsed.Result->Command, Options::Mode::Window);
    EXPECT_EQ(parsed.Result->IniFile, "m.INI");
    EXPECT_EQ(parsed.Result->WindowArguments,
              (std::vector<std::string>{"-platform", "offscreen", "-style", "fusion"}));
}

}  // namespace
