// SPDX-License-Identifier: Apache-2.0
#include "platform/SenseWords.h"

#include <scsi/sg_lib.h>

#include <string_view>

std::string SenseInWords(uint8_t senseKey, uint8_t asc, uint8_t ascq) {
    char key[80] = {};
    char code[160] = {};
    sg_get_sense_key_str(senseKey & 0x0F, sizeof key, key);
    sg_get_asc_ascq_str(asc, ascq, sizeof code, code);
    // The library introduces the words it knows with a label that says nothing in a one-line message.
    std::string words = code;
    constexpr std::string_view Label = "Additional sense: ";
    if (words.starts_with(Label))
        words.erase(0, Label.size());
    return std::string(key) + ", " + words;
}

std::string StatusInWords(uint8_t status) {
    char text[80] = {};
    sg_get_scsi_status_str(status, sizeof text, text);
    return text;
}
