// SPDX-License-Identifier: Apache-2.0
#pragma once
// The builder's copy of the program's bytes into its output, through the kernel.

#include <cstddef>

// Copies length bytes of in from offset to the end of out: in the kernel where it can, else
// through a buffer. False with errno set when a read or write fails or the file ends early.
bool CopyRange(int in, std::size_t offset, int out, std::size_t length);
