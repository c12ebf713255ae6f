// SPDX-License-Identifier: Apache-2.0
#pragma once
// The builder: writes a new flash utility, a byte copy of the running (blank) program with
// the identity fields after the key-word and the start of the image area replaced.
//
// The output is named "%4.4s.EXE" of the image file's name and is written into the chosen
// directory. It is first written to a temporary file there, synced to the disk and renamed
// into place once complete, so an interrupted or failed write never leaves a half-written
// program under the output name; SIGINT, SIGTERM or SIGHUP during the write removes the
// temporary file before the signal ends the process. An empty image, or one that starts
// like the blank marker, is refused before anything is written: its output would be
// another builder, not a flash utility. The copy is sealed (see Seal.h): the digests of its
// image and identity fields and, when given, the maker's flash-chip profiles are written
// into its seal area. Given the maker's key, the builder signs the copy too, in its signature
// area, once everything the signature covers is written. A profiles file that is not exactly the four blobs (3,326 bytes) is
// refused before anything is written, and so is an output that would replace one of the
// builder's own inputs (the program, the image, the profiles or the model file), whatever
// name it goes by. Two failures still leave their output in place, because the person is
// told exactly what it is: without the key-word the output is a plain copy of the program,
// and when the image runs past the program's end it is the program's start, the fields
// and the image.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/IdentityBlock.h"
#include "image/ModelConfig.h"
#include "image/Seal.h"
#include "image/Signature.h"
#include "ui/UserInterface.h"

// What the builder writes into the identity fields (texts of at most 24 characters).
struct BuildModel {
    std::string Model, Inquiry, FwRange, Vendor, Note;
};

// The model of line index of the model lists, and its maker's profiles file ("" for none).
std::string ProfilesAt(const ModelLists& lists, std::size_t index);
BuildModel ModelAt(const ModelLists& lists, std::size_t index);

// Told where the temporary output lies while it is written, so that a front end can remove
// it when a signal ends the process (which needs process-wide state the core keeps none of).
// The builder calls Hold() right before it creates the file, Watch() right after (directory
// -1 when creating failed) and Forget() once the file was renamed into place or removed. This
// one does nothing.
class TemporaryOutputGuard {
public:
    virtual ~TemporaryOutputGuard() = default;
    virtual void Hold() {}
    virtual void Watch(int directory, const std::string& name) { (void)directory, (void)name; }
    virtual void Forget() {}
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
    TemporaryOutputGuard* Guard = nullptr;  // not owned; null: none
    // The maker's key the copy is signed with (see Signature.h); not owned; null: unsigned.
    const SigningKey* Signer = nullptr;
    std::string SigningKeyPath;   // its file, never to be written over; "" for none
    SignatureKeyWord SignatureKey = OwnSignatureKeyWord();  // the signature area's key-word, from memory
};

// What happened, for front ends that say more than the message box did.
struct BuildReport {
    std::string OutputPath;  // the output file, once its name is known
    std::string Detail;      // a failure: the file it concerns and the system's reason ("<path>: <reason>"),
                             // or else the message that names it
    std::vector<std::string> Warnings;  // what is built as asked but will not work as meant (a FW-Range no revision falls in)
};

// "%4.4s.EXE" of the image file's name: its first four characters as they stand.
std::string BuildOutputName(const std::string& selectedBinName);

// The 137 bytes that follow the key-word in a built copy.
std::vector<uint8_t> BuildFieldBytes(const BuildModel& model, const std::string& selectedBinName, uint32_t imageLength);

// The running program's file, from the /proc/self/exe link; "" when it cannot be read.
std::string RunningExecutablePath();

// The key-word of the program's own identity block.
std::array<uint8_t, Layout::KeyWordSize> OwnKeyWord();

// Builds. Status, progress and every failure message go through ui. True when the new
// program was written completely.
bool NewBuildFlashProgram(const BuildRequest& request, UserInterface& ui, BuildReport* report = nullptr);
