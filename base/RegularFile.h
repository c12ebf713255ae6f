// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reading a file the program is given by name: opened without blocking on a FIFO or device
// and without becoming a controlling terminal, and looked at before a byte is read, so that
// only a regular file is ever read. Whole reads and writes survive interrupted system calls.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Descriptor.h"

// How a directory at the name is told: by the system's words for EISDIR, or as notRegular.
enum class DirectoryCause { SystemError, NotRegular };

// Opens path (relative to directory) for reading and checks it is a regular file (its status
// in info when given). An invalid descriptor when not, with why set to the cause in words: the
// system's error (errno set to it: the failed call's, or EISDIR), or notRegular (errno 0).
Descriptor OpenRegularFile(const std::string& path, std::string& why, const std::string& notRegular,
                           struct stat* info = nullptr, DirectoryCause directoryCause = DirectoryCause::SystemError,
                           int directory = AT_FDCWD);

// Reads up to limit bytes, to the end of the file. False with errno set on a read error.
bool ReadUpTo(int fd, std::size_t limit, std::vector<uint8_t>& out);

// Writes all of data. False with errno set on a write error.
bool WriteAll(int fd, const uint8_t* data, std::size_t length);
