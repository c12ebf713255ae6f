// SPDX-License-Identifier: Apache-2.0
#pragma once
// The copy --info, --extract-image, --verify and a run look at: this program, from its own memory, or
// another copy given as FILE, read from that file without running it.

#include <cstdint>
#include <string>

#include "image/IdentityBlock.h"
#include "image/UtilityFile.h"
#include "session/FlashSession.h"

struct UtilitySubject {
    UtilitySubject() = default;
    UtilitySubject(const UtilitySubject&) = delete;  // the pointers point into Contents
    UtilitySubject& operator=(const UtilitySubject&) = delete;

    std::string File;  // the copy's file; for this program "" when /proc/self/exe can't be read
    bool Own = true;   // this program
    const uint8_t* Block = nullptr;    // the identity block and image area
    const uint8_t* Seal = nullptr;     // the seal area; null: the copy has none
    const uint8_t* Version = nullptr;  // the version area; null: the copy has none
    const uint8_t* Signature = nullptr;  // the signature area; null: the copy has none
    std::string Sha256;                // of the copy's whole file; "" when it can't be read or was not asked for
    std::string FullPath;              // the file's absolute path, as records name it; File when unknown
    std::string PlaceDamage;           // why the areas' places can't be trusted; "" when they can
    UtilityFileContents Contents;      // what was read of another copy (Block etc. point into it)

    IdentityBlock View() const { return IdentityBlock(Block); }
    CopyAreas Areas() const { return {Block, Seal, Version, Signature, PlaceDamage}; }
};

// This program when file is empty, else the copy in file; subject is a fresh one. False with why set (naming the file
// and the cause) when that file is no readable copy of the program, or, with hash Take, is larger than any copy
// (FileSha256Limit). With hash Leave, Sha256 stays "": for what neither shows nor records it.
bool LoadUtilitySubject(const std::string& file, UtilitySubject& subject, std::string& why,
                        WholeFileHash hash = WholeFileHash::Take);

// What a flash session needs of subject: its areas, its file for messages and records, its SHA-256.
SessionSettings SubjectSessionSettings(const UtilitySubject& subject, HistoryLog* history, bool noCommit);
