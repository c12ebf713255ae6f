// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/UsageError.h"

#include <cstdio>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/JsonKeys.h"
#include "platform/PrintableText.h"

bool AsksForJson(int argc, char** argv) {
    constexpr std::string_view Json = "--json";
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--")
            break;
        // "--j" is already unambiguous: no other long option starts with j. A value after "="
        // (--json=compact, or one that is wrong) still asks for JSON.
        const std::string_view name = word.substr(0, word.find('='));
        if (name.size() >= 3 && name.size() <= Json.size() && Json.substr(0, name.size()) == name)
            return true;
    }
    return false;
}

int ReportUsageError(const std::string& text, bool json, int exitCode) {
    std::fprintf(stderr, "flashutil: %s\n", PrintableText(text).c_str());
    if (json) {
        nlohmann::ordered_json document;
        document[JsonKey::Schema] = JsonSchemaName::Error;
        document[JsonKey::Event] = "error";
        document[JsonKey::Error] = "usage";
        document[JsonKey::Message] = text;
        document[JsonKey::ExitCode] = exitCode;
        const std::string line = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    return exitCode;
}
