// SPDX-License-Identifier: Apache-2.0
#include "platform/JsonVocabulary.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "platform/JsonKeys.h"
#include "platform/SenseWords.h"

nlohmann::ordered_json SenseJson(uint8_t senseKey, uint8_t asc, uint8_t ascq) {
    const uint8_t key = senseKey & 0x0F;
    if (key == 0 && asc == 0 && ascq == 0)
        return nullptr;
    return {{"key", key}, {"asc", asc}, {"ascq", ascq}, {"words", SenseInWords(key, asc, ascq)}};
}

std::optional<SenseCode> ParseSense(const nlohmann::ordered_json& value) {
    auto byte = [](const nlohmann::ordered_json& object, const char* name) -> std::optional<uint8_t> {
        const auto it = object.find(name);
        if (it == object.end() || !it->is_number_unsigned() || it->get<unsigned>() > 255)
            return std::nullopt;
        return uint8_t(it->get<unsigned>());
    };
    if (value.is_object()) {
        const auto key = byte(value, "key"), asc = byte(value, "asc"), ascq = byte(value, "ascq");
        if (!key || !asc || !ascq || *key > 15)
            return std::nullopt;
        return SenseCode{*key, *asc, *ascq};
    }
    if (!value.is_string())
        return std::nullopt;
    const std::string text = value.get<std::string>();
    unsigned key = 0, asc = 0, ascq = 0;
    char end = 0;
    if (text.size() != 8 || std::sscanf(text.c_str(), "%2x/%2x/%2x%c", &key, &asc, &ascq, &end) != 3)
        return std::nullopt;
    // The byte as the drive sent it may carry flags above the key's four bits.
    return SenseCode{uint8_t(key & 0x0F), uint8_t(asc), uint8_t(ascq)};
}

std::string SenseCodeText(const SenseCode& sense) {
    char code[16];
    std::snprintf(code, sizeof code, "%02X/%02X/%02X", sense.Key, sense.Asc, sense.Ascq);
    return code;
}

nlohmann::ordered_json SenseJsonOfCode(const std::string& code) {
    const std::optional<SenseCode> sense = ParseSense(nlohmann::ordered_json(code));
    return sense ? SenseJson(sense->Key, sense->Asc, sense->Ascq) : nlohmann::ordered_json(nullptr);
}

std::string HyphenCase(std::string name) {
    for (char& c : name)
        if (c == '_')
            c = '-';
    return name;
}

std::string SnakeCase(std::string name) {
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

nlohmann::ordered_json NullWhenEmpty(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

nlohmann::ordered_json SignatureJson(const std::string& verdict, const std::string& signer,
                                     const std::string& fingerprint) {
    return {{JsonKey::Verdict, verdict}, {JsonKey::Signer, NullWhenEmpty(signer)},
            {JsonKey::Fingerprint, NullWhenEmpty(fingerprint)}};
}

std::string TextOrEmpty(const nlohmann::ordered_json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? std::string() : it->get<std::string>();
}
