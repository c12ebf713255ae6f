// SPDX-License-Identifier: Apache-2.0
#include "model/ModelConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/RegularFile.h"
#include "model/IniFile.h"
#include "model/ModelFileLookup.h"

namespace {

constexpr int MaxModels = 100;
constexpr const char* Missing = "FAIL";  // the default of every key; the same text in a file counts as missing
constexpr std::size_t TextWidth = 24;

std::string SectionName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "%5.5s%02d", "MODEL", n);
    return name;
}

// "%.24s": at most 24 characters, and like the C format it stops at a NUL.
std::string AtMost24(const std::string& text) {
    return text.substr(0, std::min(text.find('\0'), TextWidth));
}

// "%-24.24s": cut or padded with blanks to exactly 24 characters.
std::string Exactly24(const std::string& text) {
    std::string out = AtMost24(text);
    out.resize(TextWidth, ' ');
    return out;
}

// What is wrong with key in section, where a person mends it: the key's line when it is there
// with the value that counts as missing, else the section's line.
std::string KeyProblem(const IniFile& ini, const std::string& section, const std::string& key) {
    if (const int line = ini.KeyLine(section, key); line > 0)
        return "line " + std::to_string(line) + ": key " + key + " of section [" + section + "] has the value " +
               Missing + ", which counts as missing";
    if (const int line = ini.SectionLine(section); line > 0)
        return "line " + std::to_string(line) + ": section [" + section + "] has no key " + key;
    return "no section [" + section + "]: the models start at [MODEL00]";
}

}  // namespace

std::string ReadModels(const IniFile& ini, ModelLists& lists, std::string* problem) {
    lists = {};
    for (int n = 0; n < MaxModels; ++n) {
        const std::string section = SectionName(n);
        const std::string model = ini.Value(section, "Model", Missing);
        const std::string inquiry = ini.Value(section, "Inquiry", Missing);
        const std::string fwRange = ini.Value(section, "FW-Range", Missing);
        const std::string binMask = ini.Value(section, "BINMask", Missing);
        const std::string vendor = ini.Value(section, "Vendor", Missing);
        const std::string note = ini.Value(section, "Note", Missing);
        lists.ModelList.push_back(model);
        lists.InquiryList.push_back(inquiry);
        lists.FwRangeList.push_back(fwRange);
        lists.BinMaskList.push_back(binMask);
        lists.VendorList.push_back(vendor);
        lists.NoteList.push_back(note);
        lists.ProfilesList.push_back(ini.Value(section, "Profiles", ""));

        if (model == Missing) {  // the end of the models, or no model at all when n is 0
            if (n == 0 && problem)
                *problem = KeyProblem(ini, section, "Model");
            return n == 0 ? section : "";
        }
        const std::pair<const std::string*, const char*> required[] = {
            {&inquiry, "Inquiry"}, {&fwRange, "FW-Range"}, {&binMask, "BINMask"}, {&vendor, "Vendor"}, {&note, "Note"}};
        for (const auto& [value, key] : required)
            if (*value == Missing) {  // an incomplete section spoils the whole file
                if (problem)
                    *problem = KeyProblem(ini, section, key);
                return section;
            }

        lists.ModelLines.push_back(fwRange + " " + inquiry);
        lists.ModelList.back() = AtMost24(model);
        lists.InquiryList.back() = Exactly24(inquiry);
        lists.FwRangeList.back() = AtMost24(fwRange);
        lists.VendorList.back() = AtMost24(vendor);
        lists.NoteList.back() = AtMost24(note);
    }
    return "";
}

namespace {

// The whole of a regular file of at most maxSize bytes, or "" with the cause in why. A model
// file is small by nature: a huge one is refused rather than read into memory whole, and so
// are a directory, an unreadable file and one that breaks off while being read. The file is
// opened without waiting, so a FIFO or a device is refused at once rather than waited on.
bool ReadSmallFile(const std::string& path, std::size_t maxSize, std::string& text, std::string& why) {
    struct stat info {};
    const Descriptor file = OpenRegularFile(path, why, "not a regular file", &info);
    if (!file.Valid())
        return false;
    if (std::size_t(info.st_size) > maxSize) {
        why = "larger than " + std::to_string(maxSize >> 20) + " MiB; a model file is a few lines";
        return false;
    }
    text.resize(std::size_t(info.st_size));
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::read(file.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (n < 0)
            why = std::strerror(errno);
        else if (n == 0)
            why = "the file became shorter while being read";
        else
            done += std::size_t(n);
    }
    return ok;
}

}  // namespace

bool RetriveINI(const std::string& executablePath, UserInterface& ui, ModelLists& lists, std::string* why) {
    const std::string path = ModelConfigPath(executablePath);
    return RetriveINI(ModelFileLocation{path, {path}}, "", ui, lists, why);
}

bool RetriveINI(const ModelFileLocation& location, const std::string& exampleFile, UserInterface& ui,
                ModelLists& lists, std::string* why) {
    lists = {};
    const std::string& path = location.Path;
    std::string text, cause;
    if (path.empty()) {
        // Nowhere: the first place is named as it always was, then the others and how to start.
        if (why)
            *why = std::strerror(ENOENT);
        ui.Show("Can't load " + location.Places.front() + "\n" + ModelFileHint(location, exampleFile));
        return false;
    }
    if (!ReadSmallFile(path, 16u << 20, text, cause)) {
        if (why)
            *why = cause;
        ui.Show("Can't load " + path);
        return false;
    }
    std::string problem;
    const std::string stoppedAt = ReadModels(IniFile::Parse(text), lists, &problem);
    if (!stoppedAt.empty()) {
        if (why)
            *why = problem;
        ui.Show(path + " > Session " + stoppedAt + " error!");
        return false;
    }
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    for (std::string& profiles : lists.ProfilesList)
        if (!profiles.empty() && profiles[0] != '/')
            profiles = directory + profiles;
    return true;
}
