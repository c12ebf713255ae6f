// SPDX-License-Identifier: Apache-2.0
// The builder's reads: a whole file up to a limit, and the key-word's place, for files smaller
// and larger than the pieces they are read in (a small file is read in a piece of its size).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "TempDirectory.h"
#include "image/FileCopy.h"

namespace {

std::vector<uint8_t> Pattern(std::size_t size) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 7 + (i >> 8) + 1);
    return bytes;
}

}  // namespace

TEST(FileReads, WholeFilesUpToTheLimitAndTheKeyWordWhereverItLies) {
    TempDirectory dir;
    const std::array<uint8_t, Layout::KeyWordSize> keyWord = {'K', 'E', 'Y', '-', 'W', 'O', 'R', 'D', 0, 0xFF, 0, 0xFF, 'E', 'N', 'D'};
    for (const std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(1) << 20,
                                   (std::size_t(1) << 20) + 5, std::size_t(3) << 20}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> bytes = Pattern(size);
        WriteFile(dir / "plain", bytes);
        Descriptor plain(::open((dir / "plain").c_str(), O_RDONLY));
        std::vector<uint8_t> read;
        ASSERT_TRUE(ReadUpTo(plain.Get(), size + 10, read));
        EXPECT_EQ(read, bytes);
        ASSERT_EQ(::lseek(plain.Get(), 0, SEEK_SET), 0);
        ASSERT_TRUE(ReadUpTo(plain.Get(), size / 2, read));
        EXPECT_EQ(read, std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(size / 2)));
        std::size_t at = 0, length = 0;
        bool found = true;
        ASSERT_TRUE(FindKeyWord(plain.Get(), keyWord, at, found, length));
        EXPECT_FALSE(found);
        EXPECT_EQ(length, size);

        // At the very end, and across the first megabyte's end where the file is larger.
        for (const std::size_t place : {size, size > (1u << 20) ? (1u << 20) - 4 : size / 2}) {
            std::vector<uint8_t> marked = bytes;
            marked.insert(marked.begin() + std::ptrdiff_t(place), keyWord.begin(), keyWord.end());
            WriteFile(dir / "marked", marked);
            Descriptor file(::open((dir / "marked").c_str(), O_RDONLY));
            ASSERT_TRUE(FindKeyWord(file.Get(), keyWord, at, found, length));
            EXPECT_TRUE(found);
            EXPECT_EQ(at, place);
        }
    }
}
