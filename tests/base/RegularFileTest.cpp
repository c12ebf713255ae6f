// SPDX-License-Identifier: Apache-2.0
// Reading a file given by name: only a regular file is opened for reading, and the callers
// tell "nothing there" from "something else there" by errno; a whole file is read up to a
// limit, for files smaller and larger than the pieces it is read in.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "image/TempDirectory.h"
#include "base/RegularFile.h"

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

TEST(RegularFile, OnlyARegularFileIsOpenedAndErrnoSaysWhatWasThere) {
    TempDirectory dir;
    WriteFile(dir / "plain", std::string("abc"));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string why;
    struct stat info {};
    const Descriptor plain = OpenRegularFile(dir / "plain", why, "odd", &info);
    ASSERT_TRUE(plain.Valid()) << why;
    EXPECT_EQ(info.st_size, 3);

    errno = ENOENT;  // left over from an earlier call: never taken for the file's absence
    EXPECT_FALSE(OpenRegularFile(dir / "fifo", why, "odd").Valid());
    EXPECT_EQ(why, "odd");
    EXPECT_EQ(errno, 0);
    errno = ENOENT;
    EXPECT_FALSE(OpenRegularFile(dir.Path(), why, "odd").Valid());
    EXPECT_EQ(why, "Is a directory");
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(OpenRegularFile(dir.Path(), why, "odd", nullptr, DirectoryCause::NotRegular).Valid());
    EXPECT_EQ(why, "odd");
    EXPECT_NE(errno, ENOENT);
    EXPECT_FALSE(OpenRegularFile(dir / "missing", why, "odd").Valid());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(why, "No such file or directory");

    // A name relative to a directory's descriptor.
    const Descriptor folder(::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_TRUE(OpenRegularFile("plain", why, "odd", nullptr, DirectoryCause::SystemError, folder.Get()).Valid());
}
