// SPDX-License-Identifier: Apache-2.0
#include "platform/Sha256.h"

#include <openssl/evp.h>

std::string HexBytes(const uint8_t* data, std::size_t length) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        out += Digits[data[i] >> 4];
        out += Digits[data[i] & 0x0F];
    }
    return out;
}

std::string Sha256Hex(const uint8_t* data, std::size_t length) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    static const uint8_t Nothing = 0;
    if (EVP_Digest(data != nullptr ? data : &Nothing, length, digest, &size, EVP_sha256(), nullptr) != 1)
        return std::string();
    return HexBytes(digest, size);
}
