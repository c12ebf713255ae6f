// SPDX-License-Identifier: Apache-2.0
#pragma once
// Another copy of the program, read from its file without running it: its identity block
// with the image area, its seal, version and signature areas, found by LocateAreas as for
// the running program and the builder. Nothing of the file is ever executed: it may lack the
// execute bit, or have its program code damaged, and is still read the same way.

#include <cstdint>
#include <string>
#include <vector>

#include "image/CopyVerdict.h"
#include "image/IdentityBlock.h"

struct UtilityFileContents {
    std::vector<uint8_t> Block;    // Layout::TotalSize bytes: the identity block and the image area
    std::vector<uint8_t> Seal;     // SealLayout::Size bytes; empty when the copy has no seal area
    std::vector<uint8_t> Version;  // VersionLayout::Size bytes; empty when the copy has no version area
    std::vector<uint8_t> Signature;  // SignatureLayout::Size bytes; empty when the copy has no signature area
    std::string Sha256;            // of the whole file as it was read, in hex; "" when not asked for
    std::string PlaceDamage;       // why the areas' places can't be trusted; "" when they can

    IdentityBlock View() const { return IdentityBlock(Block.data()); }
    // The areas as the verdict takes them (pointing into this object).
    CopyAreas Areas() const;
};

// The largest file whose whole SHA-256 is taken: a copy of the program is a few megabytes, some
// tens with its debugging information. A larger file (a sparse or padded one) would keep the
// reader busy for minutes before it says anything, so it is refused before it is read.
constexpr uint64_t FileSha256Limit = uint64_t(256) << 20;

// "larger than 256 MiB, far more than any copy of flashutil": why a file is not hashed.
std::string FileSha256LimitCause();

// Whether the SHA-256 of the whole file is taken: only what shows or records it needs it.
enum class WholeFileHash { Take, Leave };

// Reads path. False with why set, naming the file and the cause, when it cannot be read, is no
// program file, ends before the bytes the loader maps, or holds no identity block there; with
// hash Take also when it is larger than FileSha256Limit, before anything of it is read. Only the
// areas are read, and the loaded bytes they are looked for in.
bool ReadUtilityFile(const std::string& path, UtilityFileContents& contents, std::string& why,
                     WholeFileHash hash = WholeFileHash::Take);

// The SHA-256 of the whole file open as fd, read from its start, in hex. False with errno set
// when it can't be read, EFBIG when it holds more than FileSha256Limit bytes (told by its size
// before anything is read).
bool FileSha256(int fd, std::string& hex);
