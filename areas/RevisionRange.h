// SPDX-License-Identifier: Apache-2.0
#pragma once
// The firmware revisions a utility accepts, read from its FW-Range field as the drive check
// reads it: the lowest revision is the field's first four characters, the highest the four
// from its sixth byte on (a shorter text has blanks put before it), and a '-' at bytes 0 and
// 5 accepts any. A drive reports its
// revision as four bytes, compared byte by byte as unsigned values.
//
// The builder warns with the same rule that decides at the drive, so a range it calls
// empty is one no drive can fall in.

#include <cstdint>
#include <string>

struct RevisionRange {
    std::string Low, High;  // four characters each
    bool Any = false;       // the wildcard
};

// The range of a stored FW-Range field (its 25 bytes, NUL-padded).
RevisionRange RevisionRangeOf(const uint8_t* field);

// Byte-wise order of two texts: bytes compare as unsigned values, the first difference
// decides, and a text that is a prefix of the other sorts first. <0, 0 or >0.
int CompareRevisionBytes(const std::string& a, const std::string& b);

// Whether a drive's four-character revision lies in the range.
bool RevisionInRange(const RevisionRange& range, const std::string& revision);

// Whether any four-byte revision at all lies in it: both bounds have four characters, so
// there is one exactly when Low is not above High.
bool AnyRevisionFits(const RevisionRange& range);

// What is wrong with the FW-Range text a builder writes, in words ("" when it is as meant:
// LLLL-HHHH with LLLL not above HHHH, or the wildcard): a range no revision falls in, or
// one of another shape, with the revisions it really accepts.
std::string RevisionRangeWarning(const std::string& text);
