// SPDX-License-Identifier: Apache-2.0
// The builder's word on a FW-Range, against the drive check that will apply it.
#include <gtest/gtest.h>

#include <string>

#include "areas/RevisionRange.h"

namespace {

TEST(RevisionRange, TheWarningSaysWhatTheDriveCheckWillDo) {
    struct Case {
        std::string Text;
        const char* Warns;  // "" for none
    };
    const Case cases[] = {
        {"1.00-1.10", ""},
        {"1.05-1.05", ""},
        {"---------", ""},
        {"1.10-1.00", "no revision can fall in that range"},
        {"", "not of the form LLLL-HHHH"},       // only four blanks: "    " to "    "
        {"garbage", "no revision can fall in that range"},  // "garb" to "  ge"
        {"zz", "no revision can fall in that range"},  // "  zz" to "    "
        {"1.00_1.10", "not of the form LLLL-HHHH"},
    };
    for (const Case& c : cases) {
        const std::string warning = RevisionRangeWarning(c.Text);
        if (*c.Warns == '\0')
            EXPECT_EQ(warning, "") << c.Text;
        else
            EXPECT_NE(warning.find(c.Warns), std::string::npos) << c.Text << ": " << warning;
    }
}

// A range called empty admits no revision at all: neither its bounds nor any byte value in
// between; one that is not is shown with a revision the check accepts.
TEST(RevisionRange, EmptyMeansNoFourByteRevisionFits) {
    for (const std::string text : {"1.10-1.00", "zz", "garbage", "", "1.00-1.10"}) {
        uint8_t field[25] = {};
        text.copy(reinterpret_cast<char*>(field), text.size());
        const RevisionRange range = RevisionRangeOf(field);
        bool anyFits = false;
        for (int first = 0; first < 256; ++first)
            for (const std::string& rest : {std::string(3, '\0'), std::string(3, '\xff'), range.Low.substr(1),
                                           range.High.substr(1)})
                anyFits = anyFits || RevisionInRange(range, std::string(1, char(first)) + rest);
        EXPECT_EQ(AnyRevisionFits(range), anyFits) << text;
        EXPECT_EQ(RevisionRangeWarning(text).find("no revision can fall") != std::string::npos, !anyFits) << text;
    }
}

}  // namespace
