// SPDX-License-Identifier: Apache-2.0
#pragma once
// A copy of the program as every mode looks at it: this program, from its own memory, or
// another copy given as a file, read from that file without running it: its identity block
// with the image area, its seal, version and signature areas, found by LocateAreas as for the
// running program and the builder. Nothing of another copy's file is ever executed: it may
// lack the execute bit, or have its program code damaged, and is still read the same way.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "areas/CopyAreas.h"
#include "areas/IdentityBlock.h"

// What was read of another copy's areas. A missing area stays empty.
struct CopyAreaBytes {
    std::vector<uint8_t> Block;      // Layout::TotalSize bytes: the identity block and the image area
    std::vector<uint8_t> Seal;       // SealLayout::Size bytes
    std::vector<uint8_t> Version;    // VersionLayout::Size bytes
    std::vector<uint8_t> Signature;  // SignatureLayout::Size bytes
};

// The one value the terminal, the window, a flash session, --info, --verify and
// --extract-image take of the copy they look at. Copies of it share the bytes read.
struct UtilityCopy {
    std::string File;      // the copy's file; for this program "" when /proc/self/exe can't be read
    std::string FullPath;  // the file's absolute path, as records name it; File when unknown
    std::string Sha256;    // of the copy's whole file, in hex; "" when it can't be read or was not asked for
    bool Own = true;       // this program
    // The areas, null where the copy has none, and why their places can't be trusted: into
    // Read for another copy, into this program's memory for itself.
    CopyAreas Areas;
    std::shared_ptr<const CopyAreaBytes> Read;  // what was read of another copy's file; null for this program

    IdentityBlock View() const { return Areas.View(); }
};

// The largest file whose whole SHA-256 is taken: a copy of the program is a few megabytes, some
// tens with its debugging information. A larger file (a sparse or padded one) would keep the
// reader busy for minutes before it says anything, so it is refused before it is read.
constexpr uint64_t FileSha256Limit = uint64_t(256) << 20;

// "larger than 256 MiB, far more than any copy of flashutil": why a file is not hashed.
std::string FileSha256LimitCause();

// Whether the SHA-256 of the whole file is taken: only what shows or records it needs it.
enum class WholeFileHash { Take, Leave };

// This program, without the SHA-256 of its file.
UtilityCopy RunningCopy();

// This program when file is empty, else the copy in file; copy is a fresh one. False with why
// set, naming the file and the cause, when that file cannot be read, is no program file, ends
// before the bytes the loader maps, or holds no identity block there; with hash Take also when
// it (or this program's own file) is larger than FileSha256Limit, before anything of it is
// read. Of another copy only the areas are read, and the loaded bytes they are looked for in.
bool LoadUtilityCopy(const std::string& file, UtilityCopy& copy, std::string& why,
                     WholeFileHash hash = WholeFileHash::Take);

// The SHA-256 of the whole file open as fd, read from its start, in hex. False with errno set
// when it can't be read, EFBIG when it holds more than FileSha256Limit bytes (told by its size
// before anything is read).
bool FileSha256(int fd, std::string& hex);
