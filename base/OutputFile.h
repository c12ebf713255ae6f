// SPDX-License-Identifier: Apache-2.0
#pragma once
// A whole file written the way the builder writes a utility: into a temporary file beside
// its name (created with O_EXCL | O_NOFOLLOW, so nothing that was there is ever opened),
// synced to the disk and renamed into place once complete. The name never shows a
// half-written file; a symbolic link, device, FIFO or socket at the name is left as it is
// (refused), and the program's own file (or any other file named as untouchable) is never
// replaced.

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/TemporaryFile.h"

struct OutputFileRequest {
    std::string Path;                      // the file to write
    std::span<const uint8_t> Bytes;        // its whole content
    std::vector<std::string> Untouchable;  // files never replaced (besides the running program)
    mode_t Mode = 0644;                    // as the umask allows
    TemporaryOutputGuard* Guard = nullptr; // told where the temporary file lies; not owned
};

// Writes. False with why set (naming the file and the cause) when nothing was written.
bool WriteOutputFile(const OutputFileRequest& request, std::string& why);
