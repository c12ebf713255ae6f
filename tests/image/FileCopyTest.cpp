// SPDX-License-Identifier: Apache-2.0
// The builder's reads: a whole file up to a limit, for files smaller and larger than the
// pieces they are read in (a small file is read in a piece of its size).

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

TEST(FileReads, WholeFilesUpToTheLimit) {
    TempDirectory dir;
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
    }
}
