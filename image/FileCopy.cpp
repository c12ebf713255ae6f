// SPDX-License-Identifier: Apache-2.0
#include "image/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

// Reads up to limit bytes, to the end of the file. False with errno set on a read error.
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

// Copies length bytes of in from offset to the end of out: in the kernel where it can, else
// through a buffer. False with errno set when a read or write fails or the file ends early.
bool CopyRange(int in, std::size_t offset, int out, std::size_t length) {
    bool kernelCopy = true;
    std::vector<uint8_t> buffer;
    while (length > 0) {
        ssize_t n;
        if (kernelCopy) {
            off64_t from = off64_t(offset);
            n = ::copy_file_range(in, &from, out, nullptr, std::min<std::size_t>(length, 1u << 30), 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                          errno == EPERM || errno == EBADF)) {
                kernelCopy = false;
                continue;
            }
        } else {
            buffer.resize(1u << 20);
            n = ::pread(in, buffer.data(), std::min(length, buffer.size()), off_t(offset));
            if (n > 0 && !WriteAll(out, buffer.data(), std::size_t(n)))
                return false;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;  // the file became shorter while being copied
            return false;
        }
        offset += std::size_t(n);
        length -= std::size_t(n);
    }
    return true;
}

// A name for the temporary output beside the final one, not yet taken: a name that exists
// already only costs another attempt, since O_EXCL never opens it.
int CreateTemporary(int directory, const std::string& outputName, std::string& name, mode_t mode) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".part-%d-%u-%llx", int(::getpid()), attempt,
                      static_cast<unsigned long long>(ticks) & 0xFFFFFF);
        name = "." + outputName + suffix;
        // As the process's umask allows; for a build 0755: a program the person made, ready to run.
        const int fd = ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

Descriptor OpenRegularFile(const std::string& path, std::string& why, const std::string& notRegular,
                           struct stat* status) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0)
        why = std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        why = std::strerror(EISDIR);
    else if (!S_ISREG(info.st_mode))
        why = notRegular;
    else {
        if (status)
            *status = info;
        return file;
    }
    return Descriptor();
}

bool MakeParentDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string directory = path.substr(0, slash);
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}
