// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which utility of a catalogue a drive gets, by the one qualification rule (JudgeDrive) and
// the one revision rule (JudgeForFlash): a utility fits a drive when its identity block
// qualifies the drive and its new revision is above the drive's. Of the fitting ones the
// highest new revision wins; two of that revision with the same image are one (the first by
// file name is named); two with different images leave the drive alone, both named.

#include <cstdint>
#include <string>

#include "session/Catalogue.h"

// A drive as it answered its INQUIRY.
struct CatalogueDrive {
    uint8_t PeripheralType = OpticalPeripheralType;
    std::string Product;   // the 24 characters of vendor and product
    std::string Revision;  // the 4 revision characters
};

struct CatalogueChoice {
    enum class Kind {
        Fits,       // Utility is the one it gets
        UpToDate,   // utilities qualify it, none installs a revision above its own
        Ambiguous,  // two utilities of the highest revision carry different images
        NoUtility,  // no utility qualifies it
    } Result = Kind::NoUtility;
    int Utility = -1;  // Fits: the index in Catalogue::Utilities
    int Other = -1;    // Ambiguous: the second file of the highest revision (Utility the first)
    std::string Why;   // in words, naming the files; "" for Fits
};

CatalogueChoice ChooseUtility(const Catalogue& catalogue, const CatalogueDrive& drive);

// "KAVENO QRW-70514S QF05" of a drive: vendor, product and revision, blanks trimmed.
std::string DriveWords(const CatalogueDrive& drive);
