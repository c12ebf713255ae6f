// SPDX-License-Identifier: Apache-2.0
#pragma once
// The model configuration file: for which drive models a blank copy builds flash utilities
// and which identity it writes for each. The file lies beside the program, named after it
// with ".INI" (flashutil -> flashutil.INI, tool.bin -> tool.INI), with one section per
// model, MODEL00 to MODEL99, numbered without gaps.

#include <cstddef>
#include <string>
#include <vector>

#include "model/ModelFileLookup.h"
#include "ui/UserInterface.h"

class IniFile;

// The six lists, one entry per model in section order, and the model lines of the
// drop-down list. The section that ends the reading leaves one entry in each of the six
// lists too; only entries below ModelLines.size() belong to a model.
struct ModelLists {
    std::vector<std::string> ModelList, InquiryList, FwRangeList, BinMaskList, VendorList, NoteList;
    std::vector<std::string> ModelLines;  // "FW-Range" value, a blank, "Inquiry" value, as read
    // The optional "Profiles" key of each model: the maker's flash-chip profiles file, "" for
    // none. RetriveINI makes a relative name relative to the model file's directory.
    std::vector<std::string> ProfilesList;
};

// Reads the models of an already parsed file into lists. Returns "" when at least one
// complete model was read, otherwise the name of the section at which reading stopped, and
// problem (when given) names the missing or bad key and its line.
std::string ReadModels(const IniFile& ini, ModelLists& lists, std::string* problem = nullptr);

// Reads the file beside the program. On failure shows "Can't load <file>" (no such file, no
// regular file such as a FIFO or a directory, too large, or it cannot be read; why, when
// given, gets the cause) or "<file> > Session <section> error!" (why: the key and its line) in an OK box and returns
// false; the caller then ends the program. On success the first model is the selected one.
// Never waits on a FIFO: it is refused at once.
bool RetriveINI(const std::string& executablePath, UserInterface& ui, ModelLists& lists, std::string* why = nullptr);

// The same for a model file found by LocateModelFile (or given with --ini). When no place
// had one, the box says "Can't load <the place beside the program>", then the other places
// looked at and how to start from exampleFile; why gets the cause.
bool RetriveINI(const ModelFileLocation& location, const std::string& exampleFile, UserInterface& ui,
                ModelLists& lists, std::string* why = nullptr);
