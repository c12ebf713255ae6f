// SPDX-License-Identifier: Apache-2.0
#include "app/gui/RememberedChoices.h"

#include "base/RegularFile.h"
#include "base/TextLines.h"
#include "base/UserFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The file's lines, each without its line feed; true with none when the file is missing. A
// FIFO or device at the name is never read, and nothing past the limit.
bool Lines(const std::string& file, std::vector<std::string>& lines, std::string& why) {
    lines.clear();
    std::string cause;
    errno = 0;
    const Descriptor in = OpenRegularFile(file, cause, "not a regular file");
    if (!in.Valid()) {
        if (errno == ENOENT)
            return true;
        why = file + ": " + cause;
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!ReadUpTo(in.Get(), RememberedChoicesLimit + 1, bytes)) {
        why = file + ": " + std::strerror(errno);
        return false;
    }
    if (bytes.size() > RememberedChoicesLimit) {
        why = file + ": longer than " + std::to_string(RememberedChoicesLimit / 1024) + " KiB";
        return false;
    }
    lines = TextLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return true;
}

}  // namespace

std::string RememberedChoicesPath(const ConfigEnvironment& environment) {
    const std::string folder = environment.UserFolder();
    return folder.empty() ? folder : folder + "/flashutil/desktop.conf";
}

RememberedChoices ReadRememberedChoices(const std::string& file, std::string* why) {
    RememberedChoices choices;
    std::vector<std::string> lines;
    std::string cause;
    if (file.empty())
        return choices;
    if (!Lines(file, lines, cause)) {
        if (why)
            *why = cause;
        return choices;
    }
    for (std::string line : lines) {
        // A file written on another system ends its lines in CR LF: the CR is not the path's.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        // Only what the chooser keeps: an absolute path, which never holds a NUL.
        if (value.empty() || value[0] != '/' || value.find('\0') != std::string::npos)
            continue;
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
    // What is there is kept, line by line: a file that can't be read is not replaced.
    std::vector<std::string> lines;
    if (!Lines(file, lines, why))
        return false;
    std::ostringstream text;
    bool replaced = false;
    for (const std::string& line : lines) {
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
