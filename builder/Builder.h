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

#include "base/RunningProgram.h"
#include "builder/BuildRequest.h"
#include "builder/BuildResult.h"
#include "model/ModelConfig.h"
#include "ui/ProgressObserver.h"

// The model of line index of the model lists, and its maker's profiles file ("" for none).
std::string ProfilesAt(const ModelLists& lists, std::size_t index);
BuildModel ModelAt(const ModelLists& lists, std::size_t index);

// "%4.4s.EXE" of the image file's name: its first four characters as they stand.
std::string BuildOutputName(const std::string& selectedBinName);

// The 137 bytes that follow the key-word in a built copy.
std::vector<uint8_t> BuildFieldBytes(const BuildModel& model, const std::string& selectedBinName, uint32_t imageLength);


// The key-word of the program's own identity block.
std::array<uint8_t, Layout::KeyWordSize> OwnKeyWord();

// Builds, in four steps each in its own file: reading the inputs (BuildInputs.h), placing
// the areas (BuildPlacement.h), checking the output's name (BuildOutputName.h) and writing the
// copy (BuildWriter.h). The status and the progress go through progress; a failure comes back
// as the result's message, for the front end to show in a plain OK box.
BuildResult BuildFlashProgram(const BuildRequest& request, ProgressObserver& progress);
