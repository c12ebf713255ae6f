// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the builder is asked to build: the image, the model's texts, the program it copies,
// where the copy goes and what it is sealed and signed with.

#include <array>
#include <cstdint>
#include <string>

#include "base/TemporaryFile.h"
#include "areas/IdentityBlock.h"
#include "areas/Seal.h"
#include "trust/Signature.h"

// What the builder writes into the identity fields (texts of at most 24 characters).
struct BuildModel {
    std::string Model, Inquiry, FwRange, Vendor, Note;
};

struct BuildRequest {
    std::string ImagePath;        // the image file, as it can be opened
    std::string SelectedBinName;  // its bare file name; names the output and NewFwName
    BuildModel Model;
    std::string OutputDirectory = ".";
    std::string ExecutablePath;   // the running program's file (RunningExecutablePath())
    std::string ProgramName;      // the program's own name for two failure messages ("" = file name of ExecutablePath)
    std::array<uint8_t, Layout::KeyWordSize> KeyWord{};  // from the program's own memory (OwnKeyWord())
    SealKeyWord SealKey = OwnSealKeyWord();  // the seal area's key-word, from the program's own memory
    std::string ProfilesPath;     // the maker's flash-chip profiles; "" for none
    std::string ModelFilePath;    // the model file the model was read from; "" for none
    // Told where the temporary output lies while it is written (see base/TemporaryFile.h), so a
    // front end can remove it when a signal ends the process; not owned; null: none.
    TemporaryOutputGuard* Guard = nullptr;
    // The maker's key the copy is signed with (see Signature.h); not owned; null: unsigned.
    const SigningKey* Signer = nullptr;
    std::string SigningKeyPath;   // its file, never to be written over; "" for none
    SignatureKeyWord SignatureKey = OwnSignatureKeyWord();  // the signature area's key-word, from memory
};
