// SPDX-License-Identifier: Apache-2.0
#pragma once
// A catalogue: a folder of utility files, each drive given the one that fits it. The folder is
// looked at once (ScanCatalogue) and what was judged is kept in memory: a file changed or
// replaced while a question waits changes nothing of what is flashed. Each file is read as data
// by the one loader (LoadUtilityCopy) and never run.
//
// Bounds, for a folder anybody may have filled: at most CatalogueEntryLimit entries are looked
// at; subfolders are not looked in; a symbolic link is followed only to a regular file; a FIFO,
// a device or a socket is never opened; a file larger than FileSha256Limit is skipped by its
// size before a byte of it is read; every file is opened without blocking and looked at before
// it is read. Whatever is no candidate is kept with the reason it was skipped.
//
// A candidate is a built copy, intact (its seal), allowed by the administrator's policy (with
// RequireSignature=yes only copies a system-trusted key signed), and made for one product and a
// range of revisions: a copy for any drive or any revision is never handed out by a folder.

#include <cstddef>
#include <string>
#include <vector>

#include "areas/UtilityFile.h"
#include "flash/Qualification.h"
#include "trust/CopyVerdict.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustedKeys.h"

// The most entries of a folder looked at.
constexpr std::size_t CatalogueEntryLimit = 1000;

// A utility of the folder that may be handed to a drive.
struct CatalogueUtility {
    std::string Name;         // its file name in the folder
    UtilityCopy Copy;         // its areas as read, its path and its SHA-256
    CopyVerdict Verdict;      // its seal and signature
    IdentityTexts Texts;      // its identity block's texts, as qualification reads them
    std::string NewRevision;  // the first 4 characters of its new firmware name
};

// A file of the folder that is no candidate, and why.
struct CatalogueSkip {
    std::string Name;
    std::string Reason;
};

struct Catalogue {
    std::string Folder;                       // as given
    std::vector<CatalogueUtility> Utilities;  // by file name
    std::vector<CatalogueSkip> Skipped;       // by file name
    bool Truncated = false;                   // the folder holds more than CatalogueEntryLimit entries
};

// Whether path names a folder (following a symbolic link); false for anything else.
bool IsCatalogueFolder(const std::string& path);

// Looks at the folder. False with why set (naming the folder and the cause) when it can't be
// opened as a folder; a file that can't be read is skipped, never a failure of the whole.
bool ScanCatalogue(const std::string& folder, const TrustedKeys& trusted, const SignaturePolicy& policy,
                   Catalogue& catalogue, std::string& why);

// "the folder holds more than 1000 entries; only 1000 were looked at", for a truncated folder.
std::string CatalogueTruncatedText(const Catalogue& catalogue);
