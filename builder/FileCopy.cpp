// SPDX-License-Identifier: Apache-2.0
#include "builder/FileCopy.h"

#include <unistd.h>

#include <vector>

#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

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
