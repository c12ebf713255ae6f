// SPDX-License-Identifier: Apache-2.0
// The recording reader over arbitrary text: a recording or an error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/Recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const std::optional<Recording> recording =
        ParseRecording(std::string_view(reinterpret_cast<const char*>(data), size), error);
    if (!recording && error.empty())
        __builtin_trap();  // a refusal always says why
    if (recording) {
        if (recording->Commands.empty())
            __builtin_trap();
        for (const RecordedExchange& command : recording->Commands)
            if (command.Direction == DirectionIn && command.DataInSha256.empty() &&
                command.DataIn.size() != command.Length)
                __builtin_trap();
    }
    return 0;
}
