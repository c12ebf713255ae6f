// SPDX-License-Identifier: Apache-2.0
#include "builder/BuildOutputName.h"

#include <fcntl.h>

#include <cerrno>
#include <utility>

#include <unistd.h>

#include <vector>

#include "areas/AreaLocator.h"
#include "areas/UtilityFile.h"

namespace {
bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

// A file at the output name is replaced only by a copy for the same drives, a rebuild: in a
// folder of utilities, where every copy of one revision has the same name, one model's copy
// must not take the place of another's, nor of a file that is no utility at all. The file is
// read as the builder reads its program: its identity block where the areas are, else where
// its key-word is; it is opened without following a link and without waiting on it.
BuildProblem CheckReplaced(const BuildRequest& request, int directory, const std::string& outputName,
                           const std::string& outputPath, const struct stat& existing) {
    // No copy is this large: a huge (or sparse) file is not read through to find out.
    if (uint64_t(existing.st_size) > FileSha256Limit)
        return Failed("Building fail: " + outputPath + " is not a flash utility; it is not replaced. Nothing was written.");
    const Descriptor file(::openat(directory, outputName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    AreaPlaces places;
    std::string why;
    std::vector<uint8_t> block(Layout::BlockSize + 16, 0);  // the fields and the start of the image area
    const bool found = file.Valid() && (LocateAreas(file.Get(), places, why) ||
                                        LocateKeyWords(file.Get(), request.KeyWord, request.SealKey, places)) &&
                       places.Block &&
                       ::pread(file.Get(), block.data(), block.size(), off_t(*places.Block)) == ssize_t(block.size()) &&
                       !IdentityBlock(block.data()).IsBlankCopy();
    if (!found)
        return Failed("Building fail: " + outputPath + " is not a flash utility; it is not replaced. Nothing was written.");
    const IdentityBlock there(block.data());
    if (Trimmed(there.Inquiry()) != Trimmed(request.Model.Inquiry) || Trimmed(there.FwRange()) != Trimmed(request.Model.FwRange))
        return Failed("Building fail: " + outputPath + " is the utility for " + Trimmed(there.Inquiry()) + " FW:" +
                      Trimmed(there.FwRange()) + ", another model; it is not replaced. Nothing was written.");
    return std::nullopt;
}
}  // namespace

BuildProblem CheckOutputName(const BuildRequest& request, const struct stat& exe, const std::string& outputName,
                             const std::string& outputPath, Descriptor& directory) {
    directory = Descriptor(::open(request.OutputDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.Valid())
        return Failed("Create " + outputName + " Fail", errno, outputPath);
    // Never over the program's own file, whatever the name's case or the path it goes by: the
    // file read as the program, and the file this process really runs from.
    struct stat existing {}, running {};
    const bool runningKnown = ::stat("/proc/self/exe", &running) == 0;
    auto atName = [&] { return ::fstatat(directory.Get(), outputName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0; };
    if (atName() && (SameFile(existing, exe) || (runningKnown && SameFile(existing, running))))
        return Failed("Building fail: " + outputPath + " is the program's own file; it is not overwritten.");
    // Nor over what the build reads: "QF60.EXE" built from an image named QF60.EXE would
    // leave the utility and lose the image. Compared as files, so another name for the same
    // file is caught too; a symbolic link at the output name is replaced, never followed.
    const std::pair<std::string, std::string> inputs[] = {
        {request.ImagePath, "the image file"}, {request.ProfilesPath, "the profiles file"},
        {request.ModelFilePath, "the model file"}, {request.SigningKeyPath, "the signing key"}};
    for (const auto& [path, what] : inputs) {
        struct stat input {};
        if (!path.empty() && ::stat(path.c_str(), &input) == 0 && atName() && SameFile(existing, input))
            return Failed("Building fail: " + outputPath + " is " + what + " " + path +
                          "; it is not overwritten. Nothing was written.");
    }
    // A device, FIFO or socket under the output name would be replaced by the rename.
    if (atName() && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode) && !S_ISDIR(existing.st_mode))
        return Failed("Building fail: " + outputPath + " is not a regular file; it is not replaced.");
    if (atName() && S_ISREG(existing.st_mode))
        return CheckReplaced(request, directory.Get(), outputName, outputPath, existing);
    return std::nullopt;
}
