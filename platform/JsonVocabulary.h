// SPDX-License-Identifier: Apache-2.0
#pragma once
// The shapes of the facts that several JSON documents share, built in one place so that the
// same fact reads the same everywhere (the keys are in JsonKeys.h).

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

struct SenseCode {
    uint8_t Key = 0, Asc = 0, Ascq = 0;
};

// {"key": 5, "asc": 36, "ascq": 0, "words": "..."}: the sense key (its low four bits), ASC
// and ASCQ as numbers and in words; null when the drive reported no sense (all zero).
nlohmann::ordered_json SenseJson(uint8_t senseKey, uint8_t asc, uint8_t ascq);

// "05/24/00" as the history has written it, or the object SenseJson makes; nullopt otherwise.
std::optional<SenseCode> ParseSense(const nlohmann::ordered_json& value);

// "05/24/00": how the terminal and older records show a sense.
std::string SenseCodeText(const SenseCode& sense);

// A value name in the documents' spelling: "failed-before-commit" -> "failed_before_commit".
std::string SnakeCase(std::string name);
// And back to the terminal's spelling, which records written before took too.
std::string HyphenCase(std::string name);

// The sense of a history record's failure ("05/24/00", "" for none) as SenseJson writes it.
nlohmann::ordered_json SenseJsonOfCode(const std::string& code);

// A text, or null where there is none: what is absent is null in every document, never "".
nlohmann::ordered_json NullWhenEmpty(const std::string& text);

// {"verdict", "signer", "fingerprint"}: the verdict on a copy's signature, the trusted key's
// name and the signing key's fingerprint, each of the two null when there is none.
nlohmann::ordered_json SignatureJson(const std::string& verdict, const std::string& signer,
                                     const std::string& fingerprint);

// A text of a document read back: null (what is written for none) and a missing key read as "",
// the way records written before spelled none; any other type is no text (a json exception).
std::string TextOrEmpty(const nlohmann::ordered_json& object, const char* key);
