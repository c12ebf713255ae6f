// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's own identity block and image area, as one object in initialised data.
// Only IdentityBlock.cpp needs this; everything else goes through IdentityBlock::Embedded().

#include <cstdint>

// The first of the block's TotalSize bytes. The pointer is passed through an empty asm
// statement, so the compiler cannot tell which object it points to and has to read the
// stored bytes every time: the builder changes those bytes in the copies it writes.
const uint8_t* EmbeddedBlockBytes();
