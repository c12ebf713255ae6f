// SPDX-License-Identifier: Apache-2.0
#include "base/RegularFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

Descriptor OpenRegularFile(const std::string& path, std::string& why, const std::string& notRegular,
                           struct stat* status, DirectoryCause directoryCause, int directory) {
    Descriptor file(::openat(directory, path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0)
        why = std::strerror(errno);
    else if (S_ISDIR(info.st_mode) && directoryCause == DirectoryCause::SystemError)
        why = std::strerror(errno = EISDIR);
    else if (!S_ISREG(info.st_mode))
        why = notRegular, errno = 0;
    else {
        if (status)
            *status = info;
        return file;
    }
    return Descriptor();
}

bool ReadUpTo(int fd, std::size_t limit, std::vector<uint8_t>& out) {
    out.clear();
    // The first piece no larger than a regular file (and one byte to see its end): a small
    // file costs no megabyte. Then twice the size each time the buffer is full.
    struct stat info {};
    std::size_t first = 1u << 20;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0)
        first = std::clamp<std::size_t>(std::size_t(info.st_size) + 1, 1, first);
    std::size_t done = 0;
    while (done < limit) {
        if (done == out.size())
            out.resize(std::min(limit, out.empty() ? first : out.size() * 2));
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    out.resize(done);
    return true;
}

bool WriteAll(int fd, const uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= std::size_t(n);
    }
    return true;
}
