// SPDX-License-Identifier: Apache-2.0
// The builder, run on copies of the real program and on hand-made files.

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "TempDirectory.h"
#include "builder/Builder.h"
#include "areas/SignatureArea.h"
#include "areas/VersionArea.h"
#include "support/ScriptedUserInterface.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const std::array<uint8_t, Layout::KeyWordSize> KeyWord = OwnKeyWord();

const SealKeyWord SealKey = OwnSealKeyWord();

std::size_t Find(const Bytes& haystack, std::size_t from = 0) {
    auto it = std::search(haystack.begin() + std::ptrdiff_t(from), haystack.end(), KeyWord.begin(), KeyWord.end());
    return it == haystack.end() ? std::string::npos : std::size_t(it - haystack.begin());
}
std::size_t FindSeal(const Bytes& haystack, std::size_t from = 0) {
    auto it = std::search(haystack.begin() + std::ptrdiff_t(from), haystack.end(), SealKey.begin(), SealKey.end());
    return it == haystack.end() ? std::string::npos : std::size_t(it - haystack.begin());
}
// A blank copy's seal area, for hand-made programs.
Bytes BlankSealArea() { return Bytes(EmbeddedSealBytes(), EmbeddedSealBytes() + SealLayout::Size); }

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (auto& b : bytes)
        b = uint8_t(random());
    return bytes;
}

std::size_t StepsOver(std::size_t from, std::size_t to) {
    std::size_t steps = 0;
    for (std::size_t k = from; k < to; ++k)
        steps += k % 1024 == 0;
    return steps;
}

int Count(const ScriptedUserInterface& ui, ScriptedUserInterface::Event::Kind kind) {
    return int(std::count_if(ui.Events.begin(), ui.Events.end(), [kind](const auto& e) { return e.What == kind; }));
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

TEST(RealProgram, KeyWordOccursExactlyOnce) {
    const Bytes program = ReadFile(FLASHUTIL_BINARY);
    ASSERT_FALSE(program.empty());
    const std::size_t at = Find(program);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(Find(program, at + 1), std::string::npos);
    const std::size_t seal = FindSeal(program);
    ASSERT_NE(seal, std::string::npos);
    EXPECT_EQ(FindSeal(program, seal + 1), std::string::npos);
    // A blank copy carries an unsealed area.
    EXPECT_EQ(CheckSeal(IdentityBlock(program.data() + at), program.data() + seal).Result, SealCheck::State::Unsealed);
}

TEST(RealProgram, CarriesTheWholeBlankBlockInOneStretch) {
    const Bytes program = ReadFile(FLASHUTIL_BINARY);
    const std::size_t at = Find(program);
    ASSERT_NE(at, std::string::npos);
    ASSERT_LE(at + Layout::TotalSize, program.size());
    // The same bytes as this test program's own block: key-word, empty fields, "ZYRT", blank pattern.
    const uint8_t* own = IdentityBlock::Embedded().Raw();
    EXPECT_TRUE(std::equal(own, own + Layout::TotalSize, program.begin() + std::ptrdiff_t(at)));
    EXPECT_TRUE(IdentityBlock(program.data() + at).IsBlankCopy());
}

class Build : public ::testing::Test {
protected:
    TempDirectory Dir;
    std::string Program = Dir / "flashutil";
    std::string Out = Dir / "out";
    ScriptedUserInterface Ui;
    BuildReport Report;

    void SetUp() override {
        fs::create_directory(Out);
        fs::copy_file(FLASHUTIL_BINARY, Program);
    }

    BuildRequest Request(const std::string& imageName) {
        BuildRequest r;
        r.ImagePath = Dir / imageName;
        r.SelectedBinName = imageName;
        r.Model = {"QRW-70512K", "KAVENO  QRW-70514S      ", "QF01-QF9Z", "Kavenotek", "Kaveno"};
        r.OutputDirectory = Out;
        r.ExecutablePath = Program;
        r.ProgramName = "/usr/local/bin/flashutil";
        r.KeyWord = KeyWord;
        return r;
    }

    // As the front ends do: the failure's message in a plain OK box.
    bool Run(const BuildRequest& request) {
        const BuildResult result = BuildFlashProgram(request, Ui);
        Report = result.Report;
        if (!result.Built)
            Ui.Show(result.Message);
        return result.Built;
    }

    bool BuildWith(const std::string& imageName, const Bytes& image) {
        WriteFile(Dir / imageName, image);
        return Run(Request(imageName));
    }

    std::vector<std::string> OutFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Out))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Everything a built copy must hold, against the blank copy it came from.
// The seal area is the one other difference: an intact seal of what was built.
void ExpectBuiltCopy(const Bytes& blankCopy, const Bytes& built, const Bytes& image, const std::string& newFwName,
                     const Bytes& profiles = {}) {
    ASSERT_EQ(built.size(), blankCopy.size());
    const std::size_t at = Find(blankCopy), seal = FindSeal(blankCopy);
    ASSERT_NE(seal, std::string::npos);
    EXPECT_EQ(CheckSeal(IdentityBlock(built.data() + at), built.data() + seal).Result, SealCheck::State::Intact);
    const std::span<const uint8_t> carried = SealedProfiles(built.data() + seal);
    EXPECT_EQ(Bytes(carried.begin(), carried.end()), profiles);
    Bytes blank = blankCopy;
    std::copy_n(built.begin() + std::ptrdiff_t(seal), SealLayout::Size, blank.begin() + std::ptrdiff_t(seal));
    const std::size_t fields = at + Layout::KeyWordSize;
    const std::size_t imageStart = at + Layout::BlockSize;
    const std::size_t imageEnd = imageStart + image.size();
    EXPECT_TRUE(std::equal(blank.begin(), blank.begin() + std::ptrdiff_t(fields), built.begin()));
    // Five 25-byte texts, NUL-filled.
    const std::string texts[] = {"QRW-70512K", "KAVENO  QRW-70514S      ", "QF01-QF9Z", "Kavenotek", "Kaveno"};
    for (int i = 0; i < 5; ++i) {
        Bytes expected(25, 0);
        std::copy(texts[i].begin(), texts[i].end(), expected.begin());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), built.begin() + std::ptrdiff_t(fields + 25 * i))) << i;
    }
    Bytes name(5, 0);
    std::copy(newFwName.begin(), newFwName.end(), name.begin());
    EXPECT_TRUE(std::equal(name.begin(), name.end(), built.begin() + std::ptrdiff_t(at + 140)));
    EXPECT_EQ(built[at + 145], 0);
    EXPECT_EQ(built[at + 146], 0);
    EXPECT_EQ(built[at + 147], 0);
    const uint32_t length = uint32_t(image.size());
    EXPECT_EQ(built[at + 148], uint8_t(length));
    EXPECT_EQ(built[at + 149], uint8_t(length >> 8));
    EXPECT_EQ(built[at + 150], uint8_t(length >> 16));
    EXPECT_EQ(built[at + 151], uint8_t(length >> 24));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), built.begin() + std::ptrdiff_t(imageStart)));
    // The rest, blank bytes after a short image included, as in the blank copy.
    EXPECT_TRUE(std::equal(blank.begin() + std::ptrdiff_t(imageEnd), blank.end(), built.begin() + std::ptrdiff_t(imageEnd)));
}

TEST_F(Build, FullImage) {
    const Bytes image = RandomBytes(Layout::ImageCapacity, 1);
    ASSERT_TRUE(BuildWith("qfa0.bin", image)) << Ui.MessageTexts().size();
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"qfa0.EXE"});
    EXPECT_EQ(Report.OutputPath, Out + "/qfa0.EXE");
    const Bytes blank = ReadFile(Program), built = ReadFile(Out + "/qfa0.EXE");
    ExpectBuiltCopy(blank, built, image, "QFA0.");
    const IdentityBlock view(built.data() + Find(built));
    EXPECT_FALSE(view.IsBlankCopy());
    EXPECT_EQ(view.NewFwName(), "QFA0.");
    EXPECT_EQ(view.ImageLength(), Layout::ImageCapacity);

    EXPECT_EQ(Ui.Statuses, (std::vector<std::string>{"Building qfa0.bin  Please wait... ", "Build qfa0.EXE complete!"}));
    const std::size_t keyWordEnd = Find(blank) + Layout::KeyWordSize;
    const std::size_t restStart = Find(blank) + Layout::TotalSize;
    EXPECT_EQ(std::size_t(Count(Ui, ScriptedUserInterface::Event::ProgressStepIt)),
              StepsOver(0, keyWordEnd) + Layout::ImageCapacity / 1024 + StepsOver(restStart, blank.size()));
    EXPECT_EQ(Ui.Progress.Maximum, int32_t(blank.size()));
    EXPECT_EQ(Ui.Progress.Step, 1024);
    EXPECT_EQ(Ui.Progress.Position, 0);

    struct stat info {};
    ASSERT_EQ(::stat((Out + "/qfa0.EXE").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755 & ~CurrentUmask());
}

TEST_F(Build, ShortImageKeepsTheBlankBytesAfterIt) {
    const Bytes image = RandomBytes(1000, 2);
    ASSERT_TRUE(BuildWith("QF01.BIN", image));
    const Bytes built = ReadFile(Out + "/QF01.EXE");
    ExpectBuiltCopy(ReadFile(Program), built, image, "QF01.");
    EXPECT_EQ(std::size_t(Count(Ui, ScriptedUserInterface::Event::ProgressStepIt)),
              StepsOver(0, Find(built) + 15) + 0 + StepsOver(Find(built) + 152 + 1000, built.size()));
}

TEST_F(Build, ImagesThatWouldLeaveABuilderAreRefusedBeforeAnythingIsWritten) {
    // The image replaces the start of "ZYRT...": empty, or starting like the marker, the
    // output would still be a blank copy.
    EXPECT_FALSE(BuildWith("QF02.BIN", {}));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: QF02.BIN is empty. Nothing was written."});
    for (const std::string image : {"Z", "ZYR", "ZYRT", "ZYRT and then firmware"}) {
        Ui = {};
        EXPECT_FALSE(BuildWith("QF02.BIN", Bytes(image.begin(), image.end()))) << image;
        ASSERT_EQ(Ui.Messages.size(), 1u) << image;
        EXPECT_NE(Ui.Messages[0].Text.find("QF02.BIN starts like the blank marker"), std::string::npos) << image;
    }
    EXPECT_TRUE(OutFiles().empty());
    // Any other start is an image like any other, however short.
    ASSERT_TRUE(BuildWith("QF02.BIN", {'Z', 'Y', 'Q'}));
    const Bytes built = ReadFile(Out + "/QF02.EXE");
    ExpectBuiltCopy(ReadFile(Program), built, {'Z', 'Y', 'Q'}, "QF02.");
    EXPECT_FALSE(IdentityBlock(built.data() + Find(built)).IsBlankCopy());
}

// An area's key-word, whole or with a byte or two changed, that the image or the model's texts
// would bring into the copy is refused before anything is written, naming where it lies: every
// reader would find a second area in the copy and call it damaged.
TEST_F(Build, KeyWordsBroughtInAreRefusedBeforeAnythingIsWritten) {
    const SignatureKeyWord signature = OwnSignatureKeyWord();
    const VersionKeyWord version = OwnVersionKeyWord();
    struct Case {
        std::size_t Offset;
        Bytes Word;
        std::size_t Changed;  // bytes of the word changed
        std::string Named;
    } cases[] = {
        {4096, Bytes(KeyWord.begin(), KeyWord.end()), 0, "the identity block's key-word at offset 4096"},
        {0, Bytes(SealKey.begin(), SealKey.end()), 1, "a changed copy of the seal area's key-word at offset 0"},
        {77, Bytes(signature.begin(), signature.end()), 2, "a changed copy of the signature area's key-word at offset 77"},
        // Its first 13 bytes end the image: the area's blank bytes after it complete a changed copy.
        {5000 - 13, Bytes(version.begin(), version.begin() + 13), 0,
         "a changed copy of the version area's key-word at offset 4987"},
    };
    for (const Case& c : cases) {
        Ui = {};
        Bytes image = RandomBytes(5000, 20);
        for (std::size_t i = 0; i < c.Word.size(); ++i)
            image[c.Offset + i] = c.Word[i] ^ (i < c.Changed ? 0x20 : 0);
        EXPECT_FALSE(BuildWith("qfa0.bin", image)) << c.Named;
        EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: qfa0.bin holds " + c.Named +
                                                              "; a copy built with it would read as damaged. "
                                                              "Nothing was written."});
        EXPECT_EQ(Report.Detail, Dir / "qfa0.bin" + ": " + c.Named);
    }
    WriteFile(Dir / "qfa0.bin", RandomBytes(5000, 20));
    BuildRequest request = Request("qfa0.bin");
    request.Model.Note = std::string(SealKey.begin(), SealKey.end() - 1);  // its NUL from the field's fill
    Ui = {};
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: the model's texts hold the seal area's key-word; a copy built "
                                        "with it would read as damaged. Nothing was written."});
    EXPECT_TRUE(OutFiles().empty());
    // So are the maker's profiles; one whose end the bytes after the seal area complete is
    // caught in the copy as it was written, which is then removed.
    Bytes profiles = RandomBytes(Profiles::DataSize, 21);
    std::copy(KeyWord.begin(), KeyWord.end(), profiles.begin() + 10);
    WriteFile(Dir / "maker.bin", profiles);
    request = Request("qfa0.bin");
    request.ProfilesPath = Dir / "maker.bin";
    Ui = {};
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: the profiles file " + Dir / "maker.bin" +
                                                          " holds the identity block's key-word at offset 10; a copy "
                                                          "built with it would read as damaged. Nothing was written."});
    profiles = RandomBytes(Profiles::DataSize, 21);
    std::copy(SealKey.begin(), SealKey.begin() + 13, profiles.end() - 13);
    WriteFile(Dir / "maker.bin", profiles);
    Ui = {};
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: the copy would read as damaged (a changed "
                                                          "copy of its seal area's key-word lies in it). Nothing was "
                                                          "written."});
    EXPECT_TRUE(OutFiles().empty());
    // One changed in three bytes is no longer a key-word.
    Bytes image = RandomBytes(5000, 20);
    for (std::size_t i = 0; i < KeyWord.size(); ++i)
        image[100 + i] = KeyWord[i] ^ (i < 3 ? 0x20 : 0);
    ASSERT_TRUE(BuildWith("qfa0.bin", image));
    ExpectBuiltCopy(ReadFile(Program), ReadFile(Out + "/qfa0.EXE"), image, "QFA0.");
}

TEST_F(Build, OutputNames) {
    ASSERT_TRUE(BuildWith("A.BIN", RandomBytes(10, 3)));
    ExpectBuiltCopy(ReadFile(Program), ReadFile(Out + "/A.BI.EXE"), RandomBytes(10, 3), "A.BIN");
    ASSERT_TRUE(BuildWith("ab", RandomBytes(10, 4)));
    ExpectBuiltCopy(ReadFile(Program), ReadFile(Out + "/ab.EXE"), RandomBytes(10, 4), "AB");
    EXPECT_EQ(Ui.Statuses.back(), "Build ab.EXE complete!");
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"A.BI.EXE", "ab.EXE"}));
}

TEST_F(Build, SameBuildTwiceGivesTheSameFile) {
    const Bytes image = RandomBytes(5000, 5);
    ASSERT_TRUE(BuildWith("qfa0.bin", image));
    const Bytes first = ReadFile(Out + "/qfa0.EXE");
    ASSERT_TRUE(BuildWith("qfa0.bin", image));
    EXPECT_EQ(ReadFile(Out + "/qfa0.EXE"), first);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"qfa0.EXE"});
}

TEST_F(Build, TooLongImageIsRefusedBeforeAnythingIsWritten) {
    EXPECT_FALSE(BuildWith("qfa0.bin", RandomBytes(Layout::ImageCapacity + 1, 6)));
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_NE(Ui.Messages[0].Text.find("qfa0.bin is longer than the 524288 bytes"), std::string::npos);
    EXPECT_TRUE(OutFiles().empty());
}

// The maker's profiles go into the seal area; any file that is not exactly the four blobs is
// refused before anything is written, with the file named.
TEST_F(Build, MakersProfilesAreSealedIntoTheCopyAndBadFilesAreRefused) {
    const Bytes image = RandomBytes(4000, 20), profiles = RandomBytes(Profiles::DataSize, 21);
    WriteFile(Dir / "qfa0.bin", image);
    WriteFile(Dir / "maker.bin", profiles);
    BuildRequest request = Request("qfa0.bin");
    request.ProfilesPath = Dir / "maker.bin";
    ASSERT_TRUE(Run(request));
    ExpectBuiltCopy(ReadFile(Program), ReadFile(Out + "/qfa0.EXE"), image, "QFA0.", profiles);
    fs::remove(Out + "/qfa0.EXE");

    WriteFile(Dir / "short.bin", RandomBytes(Profiles::DataSize - 1, 22));
    WriteFile(Dir / "long.bin", RandomBytes(Profiles::DataSize + 1, 23));
    fs::create_directory(Dir / "folder");
    ASSERT_EQ(::mkfifo((Dir / "fifo").c_str(), 0600), 0);
    for (const std::string name : {"short.bin", "long.bin", "folder", "fifo", "missing.bin"}) {
        Ui = {};
        request.ProfilesPath = Dir / name;
        EXPECT_FALSE(Run(request)) << name;
        ASSERT_EQ(Ui.Messages.size(), 1u) << name;
        EXPECT_NE(Ui.Messages[0].Text.find(request.ProfilesPath), std::string::npos) << name;
        EXPECT_NE(Ui.Messages[0].Text.find("Nothing was written"), std::string::npos) << name;
        EXPECT_TRUE(OutFiles().empty()) << name;
    }
    // The cause, on a line of its own in the terminal, names the file as well.
    for (const std::string name : {"folder", "fifo", "missing.bin"}) {
        Report = {};
        request.ProfilesPath = Dir / name;
        EXPECT_FALSE(Run(request)) << name;
        EXPECT_EQ(Report.Detail.rfind(request.ProfilesPath + ": ", 0), 0u) << Report.Detail;
    }
}

// A copy whose image, identity fields, profiles, seal area or any other byte a run sends (the
// rest of the image's last chunk) changed after the build is damaged.
TEST_F(Build, EveryChangeAfterTheBuildBreaksTheSeal) {
    ASSERT_TRUE(BuildWith("qfa0.bin", RandomBytes(3000, 24)));
    const Bytes built = ReadFile(Out + "/qfa0.EXE");
    const std::size_t at = Find(built), seal = FindSeal(built);
    const SealCheck intact = CheckSeal(IdentityBlock(built.data() + at), built.data() + seal);
    EXPECT_EQ(intact.Result, SealCheck::State::Intact);
    EXPECT_EQ(intact.Covered, Layout::UploadChunkSize);
    EXPECT_FALSE(intact.CoversLessThanSent());
    for (const std::size_t offset : {at + 40, at + 148, at + 152 + 2999, at + 152 + 3000, at + 152 + 16383,
                                     seal + 20, seal + 30, seal + 200}) {
        Bytes changed = built;
        changed[offset] ^= 0x01;
        EXPECT_EQ(CheckSeal(IdentityBlock(changed.data() + at), changed.data() + seal).Result,
                  SealCheck::State::Damaged) << offset;
    }
    // A byte of the area after the last chunk sent is neither sent nor sealed.
    Bytes changed = built;
    changed[at + 152 + 16384] ^= 0x01;
    EXPECT_EQ(CheckSeal(IdentityBlock(changed.data() + at), changed.data() + seal).Result, SealCheck::State::Intact);
}

TEST_F(Build, KeyWordLessFileGivesAPlainCopy) {
    const Bytes other = RandomBytes(70000, 7);
    WriteFile(Program, other);
    EXPECT_FALSE(BuildWith("qfa0.bin", RandomBytes(100, 8)));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: not found key-word in flashutil"});
    EXPECT_EQ(ReadFile(Out + "/qfa0.EXE"), other);
    EXPECT_EQ(ReadFile(Program), other);
    EXPECT_EQ(std::size_t(Count(Ui, ScriptedUserInterface::Event::ProgressStepIt)), StepsOver(0, other.size()));
    EXPECT_EQ(Ui.Caption, "Building qfa0.bin  Please wait... ");
}

TEST_F(Build, ImageRunningPastTheEndLeavesTheOutput) {
    Bytes small = BlankSealArea();
    small.insert(small.end(), 100, 'a');
    small.insert(small.end(), KeyWord.begin(), KeyWord.end());
    small.insert(small.end(), 50, 'b');
    WriteFile(Program, small);
    const Bytes image = RandomBytes(1000, 9);
    EXPECT_FALSE(BuildWith("qfa0.bin", image));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: some problem in flashutil"});
    const Bytes built = ReadFile(Out + "/qfa0.EXE");
    ASSERT_EQ(built.size(), SealLayout::Size + 115 + 137 + 1000u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), built.begin() + SealLayout::Size + 252));
}

TEST_F(Build, KeyWordRightAfterAPartialMatchIsFound) {
    Bytes program(KeyWord.begin(), KeyWord.begin() + 5);  // a false start
    program.insert(program.end(), KeyWord.begin(), KeyWord.end());
    program.insert(program.end(), Layout::TotalSize + 10, 'z');
    const Bytes seal = BlankSealArea();
    program.insert(program.end(), seal.begin(), seal.end());
    WriteFile(Program, program);
    ASSERT_TRUE(BuildWith("qfa0.bin", RandomBytes(64, 10)));
    const Bytes built = ReadFile(Out + "/qfa0.EXE");
    ASSERT_EQ(built.size(), program.size());
    EXPECT_EQ(IdentityBlock(built.data() + 5).ImageLength(), 64u);
    EXPECT_EQ(IdentityBlock(built.data() + 5).Model(), "QRW-70512K");
}

TEST_F(Build, KeyWordAcrossTheReadersPieceBoundaryIsFound) {
    // The file is searched in 1 MiB pieces; put the key-word across the first seam.
    for (const std::size_t at : {(std::size_t(1) << 20) - 7, (std::size_t(1) << 20) - 14, std::size_t(1) << 20}) {
        Bytes program = RandomBytes(at, 16);
        program.insert(program.end(), KeyWord.begin(), KeyWord.end());
        program.resize(program.size() + Layout::FieldBytes + Layout::ImageCapacity + 3000, 'r');
        const Bytes seal = BlankSealArea();
        program.insert(program.end(), seal.begin(), seal.end());
        WriteFile(Program, program);
        const Bytes image = RandomBytes(777, 17);
        ASSERT_TRUE(BuildWith("qfa0.bin", image)) << at;
        const Bytes built = ReadFile(Out + "/qfa0.EXE");
        ASSERT_EQ(built.size(), program.size());
        EXPECT_TRUE(std::equal(program.begin(), program.begin() + std::ptrdiff_t(at + 15), built.begin())) << at;
        EXPECT_EQ(IdentityBlock(built.data() + at).ImageLength(), 777u) << at;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), built.begin() + std::ptrdiff_t(at + 152))) << at;
        EXPECT_TRUE(std::equal(program.begin() + std::ptrdiff_t(at + 152 + 777), program.end() - SealLayout::Size,
                               built.begin() + std::ptrdiff_t(at + 152 + 777))) << at;
    }
}

TEST_F(Build, FailuresToOpen) {
    EXPECT_FALSE(Run(Request("missing.bin")));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Open missing.bin fail!"});
    EXPECT_FALSE(Report.Detail.empty());

    Ui = {};
    fs::create_directory(Dir / "adir.bin");
    EXPECT_FALSE(Run(Request("adir.bin")));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Open adir.bin fail!"});

    Ui = {};
    WriteFile(Dir / "qfa0.bin", RandomBytes(10, 11));
    BuildRequest request = Request("qfa0.bin");
    request.ExecutablePath = Dir / "no-such-program";
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Open " + Dir / "no-such-program" + " fail!"});

    Ui = {};
    request = Request("qfa0.bin");
    request.OutputDirectory = Dir / "no-such-directory";
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Create qfa0.EXE Fail"});
    EXPECT_TRUE(OutFiles().empty());
}

TEST_F(Build, OutputNameTakenByADirectory) {
    fs::create_directory(Out + "/qfa0.EXE");
    EXPECT_FALSE(BuildWith("qfa0.bin", RandomBytes(10, 12)));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Create qfa0.EXE Fail"});
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"qfa0.EXE"});  // no temporary left behind
    EXPECT_TRUE(fs::is_directory(Out + "/qfa0.EXE"));
}

TEST_F(Build, OutputNameTakenByAFifoIsLeftAlone) {
    ASSERT_EQ(::mkfifo((Out + "/qfa0.EXE").c_str(), 0600), 0);
    EXPECT_FALSE(BuildWith("qfa0.bin", RandomBytes(10, 12)));
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_NE(Ui.Messages[0].Text.find("is not a regular file; it is not replaced"), std::string::npos);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"qfa0.EXE"});
    EXPECT_TRUE(fs::is_fifo(Out + "/qfa0.EXE"));
}

TEST_F(Build, NeverOverwritesTheProgramItself) {
    const Bytes blank = ReadFile(Program);
    // The program under the output name in the output directory...
    fs::rename(Program, Out + "/qfa0.EXE");
    BuildRequest request = Request("qfa0.bin");
    request.ExecutablePath = Out + "/qfa0.EXE";
    WriteFile(Dir / "qfa0.bin", RandomBytes(10, 13));
    EXPECT_FALSE(Run(request));
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_NE(Ui.Messages[0].Text.find("is the program's own file"), std::string::npos);
    EXPECT_EQ(ReadFile(Out + "/qfa0.EXE"), blank);
    // ...and under another name and path (a hard link, as a case-blind file system would give).
    Ui = {};
    fs::create_directory(Dir / "elsewhere");
    fs::create_hard_link(Out + "/qfa0.EXE", Dir / "elsewhere/FLASHUTIL");
    request.ExecutablePath = Dir / "elsewhere/FLASHUTIL";
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(ReadFile(Out + "/qfa0.EXE"), blank);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"qfa0.EXE"});
}

// What the build reads is never what it writes, by name or as another name of the same file.
TEST_F(Build, NeverReplacesItsOwnInputs) {
    using Place = std::function<void(BuildRequest&, const std::string& output)>;  // puts an input at output
    const struct {
        const char* Name;
        Place Put;
        const char* Says;
    } cases[] = {
        {"image under the output name",
         [](BuildRequest& r, const std::string& output) { r.ImagePath = output, r.SelectedBinName = "qfa0.EXE"; },
         "is the image file"},
        {"image as a hard link",
         [](BuildRequest& r, const std::string& output) {
             fs::remove(output);
             fs::create_hard_link(r.ImagePath, output);
         },
         "is the image file"},
        {"image through a symbolic link",
         [](BuildRequest& r, const std::string& output) {
             fs::remove(r.ImagePath);
             fs::create_symlink(output, r.ImagePath);
         },
         "is the image file"},
        {"profiles file", [](BuildRequest& r, const std::string& output) { r.ProfilesPath = output; },
         "is the profiles file"},
        {"model file", [](BuildRequest& r, const std::string& output) { r.ModelFilePath = output; },
         "is the model file"},
    };
    const Bytes kept = RandomBytes(Profiles::DataSize, 30);  // serves as an image and as profiles
    const std::string output = Out + "/qfa0.EXE";
    for (const auto& c : cases) {
        Ui = {};
        BuildRequest request = Request("qfa0.bin");
        fs::remove(request.ImagePath);
        fs::remove(output);
        WriteFile(request.ImagePath, kept);
        WriteFile(output, kept);
        c.Put(request, output);
        EXPECT_FALSE(Run(request)) << c.Name;
        ASSERT_EQ(Ui.Messages.size(), 1u) << c.Name;
        EXPECT_NE(Ui.Messages[0].Text.find(c.Says), std::string::npos) << c.Name << ": " << Ui.Messages[0].Text;
        EXPECT_EQ(ReadFile(output), kept) << c.Name;
        EXPECT_EQ(OutFiles(), std::vector<std::string>{"qfa0.EXE"}) << c.Name;
    }
}

TEST_F(Build, SymlinkAtTheOutputNameIsReplacedNotFollowed) {
    WriteFile(Dir / "victim", std::string("keep me"));
    fs::create_symlink(Dir / "victim", Out + "/qfa0.EXE");
    ASSERT_TRUE(BuildWith("qfa0.bin", RandomBytes(10, 14)));
    EXPECT_EQ(ReadFile(Dir / "victim"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out + "/qfa0.EXE")));
}

// Into a folder of utilities: a rebuild for the same drives replaces the copy of its name;
// another model's copy, or a file that is no utility, stays, and the failure names it.
TEST_F(Build, IntoAFolderOnlyARebuildReplacesAFile) {
    ASSERT_TRUE(BuildWith("QF05.BIN", RandomBytes(4000, 40)));
    ASSERT_TRUE(BuildWith("QF05.BIN", RandomBytes(4000, 41)));  // the same model again
    BuildRequest other = Request("QF05.BIN");
    other.Model.Inquiry = "ACME    CD-RW RW5200";
    const std::string output = Out + "/QF05.EXE";
    const std::string utility = " is the utility for KAVENO  QRW-70514S FW:QF01-QF9Z, another model", junk = " is not a flash utility";
    const std::pair<Bytes, std::string> cases[] = {
        {ReadFile(output), utility}, {Bytes(), junk}, {Bytes({'n', 'o', 't', 'e'}), junk}, {ReadFile(Program), junk}};
    for (const auto& [there, says] : cases) {
        Ui = {};
        WriteFile(output, there);
        EXPECT_FALSE(Run(other));
        EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Building fail: " + output + says +
                                                              "; it is not replaced. Nothing was written."});
        EXPECT_EQ(ReadFile(output), there);
    }
}

TEST_F(Build, NamesThatAreNoFileNamesAreRefused) {
    for (const char* name : {"", ".", "..", "x/../../qfa0.bin"}) {
        Ui = {};
        BuildRequest request = Request("qfa0.bin");
        WriteFile(request.ImagePath, RandomBytes(10, 15));
        request.SelectedBinName = name;
        EXPECT_FALSE(Run(request)) << name;
        EXPECT_EQ(Ui.Messages.size(), 1u) << name;
    }
    EXPECT_TRUE(OutFiles().empty());
}

TEST(BuildFields, TextsAreCutTo24AndNamesUpperCased) {
    const BuildModel model{std::string(30, 'M'), "", "QF01-QF9Z", "V", "FLASH-ALL"};
    const std::vector<uint8_t> fields = BuildFieldBytes(model, "qfa0.bin", 0x01020304);
    ASSERT_EQ(fields.size(), 137u);
    EXPECT_EQ(std::string(fields.begin(), fields.begin() + 24), std::string(24, 'M'));
    EXPECT_EQ(fields[24], 0);
    EXPECT_TRUE(std::all_of(fields.begin() + 25, fields.begin() + 50, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::string(fields.begin() + 125, fields.begin() + 130), "QFA0.");
    EXPECT_EQ(fields[133], 0x04);
    EXPECT_EQ(fields[136], 0x01);
    EXPECT_EQ(BuildOutputName("qfa0.bin"), "qfa0.EXE");
    EXPECT_EQ(BuildOutputName("A.BIN"), "A.BI.EXE");
    EXPECT_EQ(BuildOutputName("x"), "x.EXE");
}

}  // namespace

// A program whose loaded bytes hold a second seal area's key-word: which area the copy would
// run with is open, so nothing is built (a key-word search would seal the first one).
TEST_F(Build, ProgramWithASecondSealKeyWordIsRefused) {
    Bytes program = ReadFile(Program);
    const VersionKeyWord word = OwnVersionKeyWord();
    const auto at = std::search(program.begin(), program.end(), word.begin(), word.end());
    ASSERT_NE(at, program.end());
    const std::size_t version = std::size_t(at - program.begin());
    std::copy(SealKey.begin(), SealKey.end(), program.begin() + std::ptrdiff_t(version + VersionLayout::TextOffset));
    WriteFile(Program, program);
    EXPECT_FALSE(BuildWith("qfa0.bin", RandomBytes(10, 13)));
    ASSERT_EQ(Ui.MessageTexts().size(), 1u);
    EXPECT_NE(Ui.MessageTexts()[0].find("is damaged (its seal area's key-word occurs more than once)"), std::string::npos)
        << Ui.MessageTexts()[0];
    EXPECT_TRUE(OutFiles().empty());
}
