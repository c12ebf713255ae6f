// SPDX-License-Identifier: Apache-2.0
#include "base/Sha256.h"

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

Sha256Stream::Sha256Stream() : Context_(EVP_MD_CTX_new()) {
    Ok_ = Context_ && EVP_DigestInit_ex(Context_, EVP_sha256(), nullptr) == 1;
}

Sha256Stream::~Sha256Stream() { EVP_MD_CTX_free(Context_); }

bool Sha256Stream::Update(const uint8_t* data, std::size_t length) {
    Ok_ = Ok_ && EVP_DigestUpdate(Context_, data, length) == 1;
    return Ok_;
}

bool Sha256Stream::Finish(Sha256Bytes& digest) {
    unsigned length = 0;
    Ok_ = Ok_ && EVP_DigestFinal_ex(Context_, digest.data(), &length) == 1 && length == digest.size();
    if (!Ok_)
        digest.fill(0);
    return Ok_;
}

Sha256Bytes Sha256Of(std::initializer_list<std::span<const uint8_t>> pieces) {
    Sha256Stream stream;
    for (const std::span<const uint8_t> piece : pieces)
        stream.Update(piece.data(), piece.size());
    Sha256Bytes digest{};
    stream.Finish(digest);
    return digest;
}
