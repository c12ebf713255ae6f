// SPDX-License-Identifier: Apache-2.0
#include "image/UtilityFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "image/Builder.h"
#include "image/FileCopy.h"
#include "image/Seal.h"
#include "image/VersionArea.h"

namespace {

enum class Area { Found, Absent, Truncated, ReadError };

// The size bytes that start at the key-word, wherever it lies in the file.
Area ReadArea(int fd, const std::array<uint8_t, Layout::KeyWordSize>& keyWord, std::size_t size,
              std::vector<uint8_t>& out) {
    std::size_t at = 0, length = 0;
    bool found = false;
    if (!FindKeyWord(fd, keyWord, at, found, length))
        return Area::ReadError;
    if (!found)
        return Area::Absent;
    out.assign(size, 0);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out.data() + done, size - done, off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Area::ReadError;
        if (n == 0) {
            out.clear();
            return Area::Truncated;
        }
        done += std::size_t(n);
    }
    return Area::Found;
}

}  // namespace

bool ReadUtilityFile(const std::string& path, UtilityFileContents& contents, std::string& why) {
    contents = {};
    auto fail = [&](const std::string& cause) {
        why = path + ": " + cause;
        return false;
    };
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0)
        return fail(std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return fail(std::strerror(EISDIR));
    if (!S_ISREG(info.st_mode))
        return fail("not a regular file");

    // Every copy of the program is an ELF executable; anything else is not worth searching.
    std::vector<uint8_t> head;
    if (!ReadUpTo(file.Get(), 4, head))
        return fail(std::strerror(errno));
    if (head.size() < 4 || std::memcmp(head.data(), "\x7f" "ELF", 4) != 0)
        return fail("not a copy of flashutil (not a program file)");

    const auto readError = [&] { return fail(std::strerror(errno)); };
    switch (ReadArea(file.Get(), OwnKeyWord(), Layout::TotalSize, contents.Block)) {
    case Area::Found: break;
    case Area::Absent: return fail("not a copy of flashutil (it carries no identity block)");
    case Area::Truncated: return fail("truncated: the file ends inside its identity block and image area");
    case Area::ReadError: return readError();
    }
    switch (ReadArea(file.Get(), OwnSealKeyWord(), SealLayout::Size, contents.Seal)) {
    case Area::Found:
    case Area::Absent: break;
    case Area::Truncated: return fail("truncated: the file ends inside its seal area");
    case Area::ReadError: return readError();
    }
    switch (ReadArea(file.Get(), OwnVersionKeyWord(), VersionLayout::Size, contents.Version)) {
    case Area::Found:
    case Area::Absent: break;
    case Area::Truncated: return fail("truncated: the file ends inside its version area");
    case Area::ReadError: return readError();
    }
    return true;
}
