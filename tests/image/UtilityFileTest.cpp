// SPDX-License-Identifier: Apache-2.0
// Another copy of the program read from its file, and a whole file written beside its name.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <filesystem>

#include "TempDirectory.h"
#include "areas/AreaLocator.h"
#include "builder/Builder.h"
#include "base/OutputFile.h"
#include "areas/Seal.h"
#include "areas/SignatureArea.h"
#include "areas/UtilityFile.h"
#include "areas/VersionArea.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::size_t Find(const Bytes& haystack, const std::array<uint8_t, 15>& keyWord, std::size_t from = 0) {
    auto it = std::search(haystack.begin() + std::ptrdiff_t(from), haystack.end(), keyWord.begin(), keyWord.end());
    return it == haystack.end() ? std::string::npos : std::size_t(it - haystack.begin());
}

TEST(UtilityFile, TheRealProgramCarriesItsVersionOnceAndReadsAsABlankCopy) {
    const Bytes program = ReadFile(FLASHUTIL_BINARY);
    const std::size_t at = Find(program, OwnVersionKeyWord());
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(Find(program, OwnVersionKeyWord(), at + 1), std::string::npos);

    UtilityCopy copy;
    std::string why;
    ASSERT_TRUE(LoadUtilityCopy(FLASHUTIL_BINARY, copy, why)) << why;
    EXPECT_TRUE(copy.View().IsBlankCopy());
    ASSERT_TRUE(copy.Areas.Version);
    EXPECT_EQ(VersionInArea(copy.Areas.Version), std::string(FLASHUTIL_VERSION));
    ASSERT_TRUE(copy.Areas.Seal);
    EXPECT_EQ(CheckSeal(copy.View(), copy.Areas.Seal).Result, SealCheck::State::Unsealed);
    EXPECT_FALSE(copy.Own);
    EXPECT_EQ(copy.FullPath, fs::canonical(FLASHUTIL_BINARY).string());
    // A copy of the value keeps the bytes read when the one it was copied from is gone.
    const UtilityCopy kept = copy;
    copy = {};
    EXPECT_EQ(VersionInArea(kept.Areas.Version), std::string(FLASHUTIL_VERSION));
    EXPECT_TRUE(kept.View().IsBlankCopy());
}

TEST(UtilityFile, FilesThatAreNoWholeCopyAreNamedWithTheCause) {
    TempDirectory temp;
    const Bytes program = ReadFile(FLASHUTIL_BINARY);
    const std::size_t block = Find(program, OwnKeyWord());
    ASSERT_NE(block, std::string::npos);
    // Cut inside the image area; a copy whose version, seal and signature areas were wiped and
    // whose areas are named nowhere (as one built before those areas existed) still reads,
    // without them; with only one byte of a key-word changed it is damaged, as it is when the
    // names still point at the wiped areas, or when it still carries the signature area that
    // only versions that name their areas have.
    WriteFile(temp / "cut", Bytes(program.begin(), program.begin() + std::ptrdiff_t(block + 1000)));
    Bytes wiped = program;
    for (const auto& keyWord : {OwnVersionKeyWord(), OwnSealKeyWord()})
        std::fill_n(wiped.begin() + std::ptrdiff_t(Find(wiped, keyWord)), keyWord.size(), 0);
    WriteFile(temp / "wiped", wiped);
    Bytes renamed = wiped;
    const std::string named = "flashutil_";
    for (auto at = std::search(renamed.begin(), renamed.end(), named.begin(), named.end()); at != renamed.end();
         at = std::search(at + 1, renamed.end(), named.begin(), named.end()))
        *at = 'x';
    WriteFile(temp / "renamed", renamed);
    Bytes old = renamed;
    std::fill_n(old.begin() + std::ptrdiff_t(Find(old, OwnSignatureKeyWord())), Layout::KeyWordSize, 0);
    WriteFile(temp / "old", old);
    Bytes changed = program;
    changed[Find(changed, OwnSealKeyWord()) + 3] ^= 1;
    WriteFile(temp / "changed", changed);
    WriteFile(temp / "text", std::string("\x7f" "ELF but nothing else"));

    UtilityCopy copy;
    std::string why;
    EXPECT_FALSE(LoadUtilityCopy(temp / "cut", copy, why));
    EXPECT_EQ(why, temp / "cut" + ": truncated: the file ends before the bytes the loader maps from it");
    EXPECT_FALSE(LoadUtilityCopy(temp / "text", copy, why));
    EXPECT_EQ(why, temp / "text" + ": not a copy of flashutil (not a program file)");
    EXPECT_FALSE(LoadUtilityCopy(temp.Path(), copy, why));
    EXPECT_EQ(why, temp.Path() + ": Is a directory");
    ASSERT_TRUE(LoadUtilityCopy(temp / "old", copy, why)) << why;
    EXPECT_EQ(copy.Areas.Seal, nullptr);
    EXPECT_EQ(copy.Areas.Version, nullptr);
    EXPECT_EQ(copy.Areas.PlaceDamage, "");
    ASSERT_TRUE(LoadUtilityCopy(temp / "renamed", copy, why)) << why;
    EXPECT_EQ(copy.Areas.PlaceDamage, "it carries a signature area, but its areas are not named as in every version that has one");
    ASSERT_TRUE(LoadUtilityCopy(temp / "wiped", copy, why)) << why;
    EXPECT_EQ(copy.Areas.PlaceDamage, "its seal area does not start with its key-word");
    ASSERT_TRUE(LoadUtilityCopy(temp / "changed", copy, why)) << why;
    EXPECT_EQ(copy.Areas.PlaceDamage, "its seal area does not start with its key-word");
}

// The areas this test program runs with are the ones its own file is read to hold: the check
// a run makes before it sends anything finds them through the dynamic symbol table.
TEST(AreaLocator, FindsTheAreasTheLoaderMappedThroughTheSymbolTable) {
    EXPECT_EQ(OwnAreasMismatch(), "");
    const Bytes program = ReadFile(FLASHUTIL_BINARY);
    const int fd = ::open(FLASHUTIL_BINARY, O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    AreaPlaces places;
    std::string why;
    ASSERT_TRUE(LocateAreas(fd, places, why)) << why;
    ::close(fd);
    EXPECT_TRUE(places.Named);
    EXPECT_EQ(places.Damage, "");
    EXPECT_EQ(places.Block, Find(program, OwnKeyWord()));
    EXPECT_EQ(places.Seal, Find(program, OwnSealKeyWord()));
    EXPECT_EQ(places.Version, Find(program, OwnVersionKeyWord()));
}

// A program file of one loaded segment from its start, holding body after its headers.
Bytes OneSegmentProgram(const Bytes& body) {
    Bytes file(120, 0);
    const uint8_t ident[] = {0x7f, 'E', 'L', 'F', 2, 1, 1};
    std::copy(std::begin(ident), std::end(ident), file.begin());
    auto put = [&](std::size_t at, uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            file[at + i] = uint8_t(value >> (8 * i));
    };
    put(32, 64, 8);                        // the program headers' offset
    put(54, 56, 2);                        // their size
    put(56, 1, 2);                         // their number
    put(64, 1, 4);                         // PT_LOAD
    put(64 + 16, 0x400000, 8);             // its address
    put(64 + 32, 120 + body.size(), 8);    // its bytes in the file: all of it
    put(64 + 40, 120 + body.size(), 8);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// Loaded bytes full of an area's key-word, whole or with a byte changed, are damaged by the
// first two or the first changed one; the search does not go on to count them all.
TEST(AreaLocator, LoadedBytesFullOfAKeyWordAreDamaged) {
    TempDirectory temp;
    const auto word = OwnKeyWord();
    Bytes full, near;
    for (std::size_t i = 0; i < (std::size_t(4) << 20) / word.size(); ++i) {
        full.insert(full.end(), word.begin(), word.end());
        near.insert(near.end(), word.begin(), word.end());
        near.back() = 'x';
    }
    WriteFile(temp / "full", OneSegmentProgram(full));
    WriteFile(temp / "near", OneSegmentProgram(near));
    UtilityCopy copy;
    std::string why;
    EXPECT_FALSE(LoadUtilityCopy(temp / "full", copy, why));
    EXPECT_EQ(why, temp / "full" + ": a damaged copy of flashutil (its identity block's key-word occurs more than once)");
    EXPECT_FALSE(LoadUtilityCopy(temp / "near", copy, why));
    EXPECT_EQ(why, temp / "near" + ": a damaged copy of flashutil (a changed copy of its identity block's key-word lies in it)");
}

// The whole file is hashed only up to a size no copy reaches, and only where it is asked for.
TEST(UtilityFile, AFileLargerThanAnyCopyIsNotHashed) {
    TempDirectory temp;
    fs::copy_file(FLASHUTIL_BINARY, temp / "padded");
    fs::resize_file(temp / "padded", FileSha256Limit + 1);  // sparse
    UtilityCopy copy;
    std::string why;
    EXPECT_FALSE(LoadUtilityCopy(temp / "padded", copy, why));
    EXPECT_EQ(why, temp / "padded" + ": larger than 256 MiB, far more than any copy of flashutil");
    ASSERT_TRUE(LoadUtilityCopy(temp / "padded", copy, why, WholeFileHash::Leave)) << why;
    EXPECT_TRUE(copy.View().IsBlankCopy());
    EXPECT_EQ(copy.Sha256, "");
}

TEST(OutputFile, LeavesLinksAndWhatItMustKeepAndNothingHalfWritten) {
    TempDirectory temp;
    const Bytes content = {1, 2, 3};
    std::string why;
    WriteFile(temp / "victim", std::string("keep me"));
    // A link (think of /dev/stdout) is neither followed nor replaced.
    fs::create_symlink(temp / "victim", temp / "link");
    EXPECT_FALSE(WriteOutputFile({temp / "link", content, {}}, why));
    EXPECT_EQ(why, temp / "link" + ": a symbolic link; it is not replaced");
    EXPECT_TRUE(fs::is_symlink(temp / "link"));
    EXPECT_EQ(ReadFile(temp / "victim"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    WriteFile(temp / "out.bin", std::string("old"));
    ASSERT_TRUE(WriteOutputFile({temp / "out.bin", content, {}}, why)) << why;
    EXPECT_EQ(ReadFile(temp / "out.bin"), content);

    // The copy read, under another name: never replaced.
    fs::create_hard_link(temp / "victim", temp / "alias");
    OutputFileRequest kept{temp / "alias", content, {temp / "victim"}};
    EXPECT_FALSE(WriteOutputFile(kept, why));
    EXPECT_NE(why.find("it is not overwritten"), std::string::npos);
    EXPECT_EQ(ReadFile(temp / "victim").size(), 7u);

    fs::create_directory(temp / "dir");
    EXPECT_FALSE(WriteOutputFile({temp / "dir", content, {}}, why));
    EXPECT_EQ(why, temp / "dir" + ": Is a directory");
    EXPECT_FALSE(WriteOutputFile({temp / "none/out.bin", content, {}}, why));
    EXPECT_EQ(why, temp / "none/out.bin" + ": No such file or directory");
    // A FIFO stands for every node that is not a file (/dev/null above all): never replaced.
    ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(WriteOutputFile({temp / "fifo", content, {}}, why));
    EXPECT_EQ(why, temp / "fifo" + ": not a regular file; it is not replaced");
    EXPECT_TRUE(fs::is_fifo(temp / "fifo"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.Path()))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"alias", "dir", "fifo", "link", "out.bin", "victim"}));  // no temporary left
}

}  // namespace
