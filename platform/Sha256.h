// SPDX-License-Identifier: Apache-2.0
#pragma once
// SHA-256 of a block of bytes, as 64 lower-case hex digits. A recording names the data sent
// to a drive by this digest, never by the bytes themselves.

#include <cstddef>
#include <cstdint>
#include <string>

std::string Sha256Hex(const uint8_t* data, std::size_t length);

// Bytes as lower-case hex digits, two per byte.
std::string HexBytes(const uint8_t* data, std::size_t length);
