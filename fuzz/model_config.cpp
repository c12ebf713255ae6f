// SPDX-License-Identifier: Apache-2.0
// The model configuration reader over arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/IniFile.h"
#include "model/ModelConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const IniFile ini = IniFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    ModelLists lists;
    const std::string stoppedAt = ReadModels(ini, lists);
    // Every model line belongs to a complete model, and every normalised inquiry is 24 wide.
    if (lists.ModelLines.size() > lists.ModelList.size())
        __builtin_trap();
    for (std::size_t i = 0; i < lists.ModelLines.size(); ++i)
        if (lists.InquiryList[i].size() != 24 || lists.ModelList[i].size() > 24)
            __builtin_trap();
    (void)stoppedAt;
    return 0;
}
