// SPDX-License-Identifier: Apache-2.0
#pragma once
// JSON as the program writes it, built with nlohmann-json.
//
// Texts from drives and the system (INQUIRY fields, device paths) are bytes with no promised
// encoding; JsonText reads them as Latin-1, so every byte becomes a character and the
// output is valid JSON whatever the drive sent.
//
// OneLine writes an object on one line in the form the command trace has always had
// ({"key": value, "key": value}), which tools and recordings read line by line: the
// library's own dump() knows only the compact form without blanks and the indented form
// over many lines. Values are written by the library; a floating-point number (the trace's
// milliseconds) is written with exactly two decimals and a point, whatever the locale.

#include <string>

#include <nlohmann/json.hpp>

// Bytes read as Latin-1, as a JSON string.
nlohmann::ordered_json JsonText(const std::string& bytes);

// The value on one line, ", " between members and elements, ": " after each key.
std::string OneLine(const nlohmann::ordered_json& value);
