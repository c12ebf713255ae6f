// SPDX-License-Identifier: Apache-2.0
#include "platform/JsonText.h"

#include <charconv>

nlohmann::ordered_json JsonText(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const unsigned char c : bytes) {
        if (c < 0x80) {
            utf8 += char(c);
        } else {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

namespace {

void Append(const nlohmann::ordered_json& value, std::string& out) {
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, member] : value.items()) {
            out += first ? "" : ", ";
            first = false;
            out += nlohmann::ordered_json(key).dump(-1, ' ', true);
            out += ": ";
            Append(member, out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        for (std::size_t i = 0; i < value.size(); ++i) {
            out += i ? ", " : "";
            Append(value[i], out);
        }
        out += ']';
    } else if (value.is_number_float()) {
        // to_chars rounds exactly as printf's "%.2f" does in the C locale.
        char text[64];
        const auto written = std::to_chars(text, text + sizeof text, value.get<double>(), std::chars_format::fixed, 2);
        out.append(text, written.ec == std::errc() ? written.ptr : text);
    } else {
        // Texts escaped to ASCII, so the line is the same in every terminal and file.
        out += value.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
    }
}

}  // namespace

std::string OneLine(const nlohmann::ordered_json& value) {
    std::string out;
    Append(value, out);
    return out;
}
