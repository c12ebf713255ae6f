// SPDX-License-Identifier: Apache-2.0
#include "image/RememberedChoices.h"

#include "image/FileCopy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

std::string RememberedChoicesPath(const ConfigEnvironment& environment) {
    if (!environment.XdgConfigHome.empty() && environment.XdgConfigHome[0] == '/')
        return environment.XdgConfigHome + "/flashutil/desktop.conf";
    if (!environment.Home.empty())
        return environment.Home + "/.config/flashutil/desktop.conf";
    return {};
}

RememberedChoices ReadRememberedChoices(const std::string& file) {
    RememberedChoices choices;
    if (file.empty())
        return choices;
    for (const std::string& line : Lines(file)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "model-file")
            choices.ModelFile = value;
        else if (key == "image-folder")
            choices.ImageFolder = value;
    }
    return choices;
}

bool RememberChoice(const std::string& file, const std::string& key, const std::string& value, std::string& why) {
    // A line break in the value would end it there and start a line of its own.
    if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos) {
        why = file + ": a line break in a path can't be kept";
        return false;
    }
    std::ostringstream text;
    bool replaced = false;
    for (const std::string& line : Lines(file)) {
        if (line.rfind(key + "=", 0) == 0) {
            if (!replaced)
                text << key << '=' << value << '\n';
            replaced = true;
        } else {
            text << line << '\n';
        }
    }
    if (!replaced)
        text << key << '=' << value << '\n';

    const std::string temporary = file + ".new";
    if (!MakeParentDirectories(file)) {
        why = file + ": " + std::strerror(errno);
        return false;
    }
    // Whatever lies at the temporary name (a link left behind, say) is replaced, not written through.
    ::unlink(temporary.c_str());
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            why = temporary + ": can't be written";
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        why = file + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
