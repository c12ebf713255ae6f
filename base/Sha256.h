// SPDX-License-Identifier: Apache-2.0
#pragma once
// SHA-256 (OpenSSL's): of a block of bytes as 64 lower-case hex digits (a recording names the
// data sent to a drive by this digest, never by the bytes themselves), of pieces read one
// after the other, and of a stream such as a file read in blocks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

using Sha256Bytes = std::array<uint8_t, 32>;

std::string Sha256Hex(const uint8_t* data, std::size_t length);

// The digest of the pieces as one run of bytes; all zero bytes when the library fails, which
// no stored digest of real data equals by chance, so a check against it then fails.
Sha256Bytes Sha256Of(std::initializer_list<std::span<const uint8_t>> pieces);

// Bytes as lower-case hex digits, two per byte.
std::string HexBytes(const uint8_t* data, std::size_t length);

// A digest fed piece by piece.
class Sha256Stream {
public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;
    // False once the library failed; every later call then fails too.
    bool Update(const uint8_t* data, std::size_t length);
    bool Finish(Sha256Bytes& digest);

private:
    struct evp_md_ctx_st* Context_;
    bool Ok_;
};
