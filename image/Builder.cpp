// SPDX-License-Identifier: Apache-2.0
#include "image/Builder.h"

#include "image/AreaLocator.h"
#include "image/FileCopy.h"
#include "image/RevisionRange.h"
#include "image/VersionArea.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

namespace {

constexpr int32_t ProgressStep = 1024;

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SystemReason(int error) { return std::strerror(error); }

// One step for every offset in [from, to) that is a multiple of 1024: the progress the
// byte-by-byte copy makes over those offsets.
void StepOverOffsets(UserInterface& ui, std::size_t from, std::size_t to) {
    if (to <= from)
        return;
    const std::size_t first = (from + ProgressStep - 1) / ProgressStep;
    const std::size_t last = (to + ProgressStep - 1) / ProgressStep;
    for (std::size_t i = first; i < last; ++i)
        ui.StepProgress();
}

// "the seal area's key-word", or "a changed copy of ..." for a near one.
std::string HitName(const KeyWordHit& hit) {
    return (hit.Near ? "a changed copy of the " : "the ") + hit.Area + "'s key-word";
}

// What in bytes, read from the file path and named as what, is a key-word of an area ("" for
// nothing), with out.Detail naming the file and the offset.
std::string KeyWordIn(const std::vector<uint8_t>& bytes, const std::string& what, const std::string& path,
                      BuildReport& out) {
    const std::optional<KeyWordHit> hit = FirstKeyWord(bytes.data(), bytes.size());
    if (!hit)
        return {};
    const std::string where = HitName(*hit) + " at offset " + std::to_string(hit->Offset);
    out.Detail = path + ": " + where;
    return what + " holds " + where;
}

// The same for the fields and the image as they will lie in the copy, between the key-word at
// keyWordAt and the program's bytes after the image: a key-word across their seams counts too.
std::string KeyWordBroughtIn(int exe, std::size_t keyWordAt, const std::vector<uint8_t>& fields,
                             const std::vector<uint8_t>& image, const std::string& binName, const std::string& imagePath,
                             BuildReport& out) {
    std::vector<uint8_t> stretch(Layout::KeyWordSize);
    if (::pread(exe, stretch.data(), stretch.size(), off_t(keyWordAt)) != ssize_t(stretch.size()))
        return {};  // the copy's own key-word, as the locator found it
    stretch.insert(stretch.end(), fields.begin(), fields.end());
    const std::size_t imageStart = stretch.size();
    stretch.insert(stretch.end(), image.begin(), image.end());
    uint8_t after[Layout::KeyWordSize - 1];
    const ssize_t n = ::pread(exe, after, sizeof after, off_t(keyWordAt + imageStart + image.size()));
    stretch.insert(stretch.end(), after, after + std::max<ssize_t>(n, 0));
    const std::optional<KeyWordHit> hit = FirstKeyWord(stretch.data(), stretch.size(), 1);
    if (!hit)
        return {};
    if (hit->Offset + Layout::KeyWordSize <= imageStart) {
        out.Detail = "the model's texts (Model, Inquiry, FW-Range, Vendor, Note): " + HitName(*hit);
        return "the model's texts hold " + HitName(*hit);
    }
    // One that begins in the fields ends in the image: it is told at the image's start.
    const std::size_t offset = hit->Offset > imageStart ? hit->Offset - imageStart : 0;
    const std::string where = HitName(*hit) + " at offset " + std::to_string(offset);
    out.Detail = imagePath + ": " + where;
    return binName + " holds " + where;
}

}  // namespace

BuildModel ModelAt(const ModelLists& lists, std::size_t index) {
    auto at = [index](const std::vector<std::string>& list) { return index < list.size() ? list[index] : std::string(); };
    return {at(lists.ModelList), at(lists.InquiryList), at(lists.FwRangeList), at(lists.VendorList), at(lists.NoteList)};
}

std::string ProfilesAt(const ModelLists& lists, std::size_t index) {
    return index < lists.ProfilesList.size() ? lists.ProfilesList[index] : std::string();
}

std::string BuildOutputName(const std::string& selectedBinName) {
    return selectedBinName.substr(0, std::min<std::size_t>(4, selectedBinName.find('\0'))) + ".EXE";
}

std::vector<uint8_t> BuildFieldBytes(const BuildModel& model, const std::string& selectedBinName, uint32_t imageLength) {
    std::vector<uint8_t> fields(Layout::FieldBytes, 0);
    std::size_t at = 0;
    for (const std::string* text : {&model.Model, &model.Inquiry, &model.FwRange, &model.Vendor, &model.Note}) {
        // The text, then NUL bytes to the field's end; never more than 24 characters, so the
        // field always holds its terminator.
        const std::size_t length = std::min({text->size(), Layout::TextFieldSize - 1, text->find('\0')});
        std::memcpy(fields.data() + at, text->data(), length);
        at += Layout::TextFieldSize;
    }
    for (std::size_t i = 0; i < Layout::NewFwNameSize && i < selectedBinName.size() && selectedBinName[i] != '\0'; ++i) {
        const char c = selectedBinName[i];
        fields[at + i] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    at += Layout::NewFwNameSize + Layout::ReservedSize;
    for (int i = 0; i < 4; ++i)
        fields[at + i] = static_cast<uint8_t>(imageLength >> (8 * i));
    return fields;
}

std::string RunningExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || std::size_t(n) >= buffer.size())
        return {};
    return std::string(buffer.data(), std::size_t(n));
}

std::array<uint8_t, Layout::KeyWordSize> OwnKeyWord() {
    std::array<uint8_t, Layout::KeyWordSize> keyWord{};
    std::memcpy(keyWord.data(), IdentityBlock::Embedded().KeyWord(), keyWord.size());
    return keyWord;
}

bool NewBuildFlashProgram(const BuildRequest& request, UserInterface& ui, BuildReport* report) {
    BuildReport scratch;
    BuildReport& out = report ? *report : scratch;
    out = {};
    const std::string& binName = request.SelectedBinName;
    const std::string outputName = BuildOutputName(binName);
    const std::string programName = request.ProgramName.empty() ? BaseName(request.ExecutablePath) : BaseName(request.ProgramName);
    // The reason names the file or directory it concerns, so a terminal line says which.
    // A failure without a system error is told by its message, which names its file.
    auto fail = [&](const std::string& message, int error = 0, const std::string& subject = "") {
        if (error != 0)
            out.Detail = (subject.empty() ? "" : subject + ": ") + SystemReason(error);
        else if (out.Detail.empty())
            out.Detail = message;
        ui.Show(message);
        return false;
    };

    ui.SetStatus("Building " + binName + "  Please wait... ");

    // The output's name comes from a bare file name; anything else could reach another directory.
    if (binName.empty() || binName == "." || binName == ".." || binName.find('/') != std::string::npos ||
        binName.find('\0') != std::string::npos)
        return fail("Building fail: \"" + binName + "\" is not the name of an image file.");

    // The image, read whole before anything is written.
    Descriptor image(::open(request.ImagePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat imageInfo {};
    if (!image.Valid())
        return fail("Open " + binName + " fail!", errno, request.ImagePath);
    if (::fstat(image.Get(), &imageInfo) != 0)
        return fail("Open " + binName + " fail!", errno, request.ImagePath);
    if (S_ISDIR(imageInfo.st_mode))
        return fail("Open " + binName + " fail!", EISDIR, request.ImagePath);
    if (!S_ISREG(imageInfo.st_mode)) {
        out.Detail = request.ImagePath + ": not a regular file";
        return fail("Open " + binName + " fail!");
    }
    std::vector<uint8_t> imageBytes;
    if (!ReadUpTo(image.Get(), Layout::ImageCapacity + 1, imageBytes))
        return fail("Open " + binName + " fail!", errno, request.ImagePath);
    image.Reset();
    // A longer image would overwrite what follows the image area in the output.
    if (imageBytes.size() > Layout::ImageCapacity) {
        return fail("Building fail: " + binName + " is longer than the " + std::to_string(Layout::ImageCapacity) +
                    " bytes the image area holds. Nothing was written.");
    }
    // The output runs as a flash utility only when its image area no longer starts with the
    // blank marker. The image takes the place of the area's first bytes, and the blank bytes
    // after a short image stay: an empty image, or one that starts like the marker, would
    // make another builder and call it a flash utility.
    if (imageBytes.empty())
        return fail("Building fail: " + binName + " is empty. Nothing was written.");
    const std::size_t markerBytes = std::min(imageBytes.size(), sizeof Layout::BlankMarker);
    if (std::equal(imageBytes.begin(), imageBytes.begin() + std::ptrdiff_t(markerBytes), Layout::BlankMarker))
        return fail("Building fail: " + binName + " starts like the blank marker \"ZYRT\", so the output would be a "
                    "builder, not a flash utility. Nothing was written.");
    const uint32_t imageLength = static_cast<uint32_t>(imageBytes.size());
    // A range that admits no revision is built as asked; the person is told what it means,
    // by the rule the drive check applies.
    if (std::string warning = RevisionRangeWarning(request.Model.FwRange); !warning.empty())
        out.Warnings.push_back(std::move(warning));

    // The maker's profiles, read whole before anything is written.
    std::vector<uint8_t> profileBytes;
    if (!request.ProfilesPath.empty()) {
        const std::string& path = request.ProfilesPath;
        const std::string openFail = "Building fail: can't read the profiles file " + path + ". Nothing was written.";
        Descriptor profiles(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!profiles.Valid() || ::fstat(profiles.Get(), &info) != 0)
            return fail(openFail, errno, path);
        if (S_ISDIR(info.st_mode))
            return fail(openFail, EISDIR, path);
        if (!S_ISREG(info.st_mode)) {
            out.Detail = path + ": not a regular file";
            return fail(openFail);
        }
        if (!ReadUpTo(profiles.Get(), Profiles::DataSize + 1, profileBytes))
            return fail(openFail, errno, path);
        if (profileBytes.size() != Profiles::DataSize)
            return fail("Building fail: the profiles file " + path + " holds " + std::to_string(profileBytes.size()) +
                        " bytes, not the " + std::to_string(Profiles::DataSize) +
                        " bytes of the maker's four flash-chip profiles. Nothing was written.");
    }

    // The running program's file.
    Descriptor exe(::open(request.ExecutablePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat exeInfo {};
    if (!exe.Valid() || ::fstat(exe.Get(), &exeInfo) != 0)
        return fail("Open " + request.ExecutablePath + " fail!", errno, request.ExecutablePath);
    std::size_t exeLength = std::size_t(exeInfo.st_size);
    std::size_t keyWordAt = 0, sealAt = 0;
    bool keyWordFound = false, sealFound = false;
    std::optional<uint64_t> signatureAt, versionAt;
    // A program file: its areas where every reader of a copy finds them, so that the copy's
    // fields and seal land where the copy runs with them. A file of any other kind is
    // searched for the key-words.
    AreaPlaces places;
    std::string locateWhy;
    const bool program = LocateAreas(exe.Get(), places, locateWhy);
    if (!program && !LocateKeyWords(exe.Get(), request.KeyWord, request.SealKey, places))
        return fail("Open " + request.ExecutablePath + " fail!", errno, request.ExecutablePath);
    if (!places.Damage.empty())
        return fail("Building fail: " + programName + " is damaged (" + places.Damage + "). Nothing was written.");
    keyWordFound = places.Block.has_value();
    keyWordAt = std::size_t(places.Block.value_or(0));
    // The seal area, its own object: a program without one could not seal what it builds.
    sealFound = places.Seal.has_value();
    sealAt = std::size_t(places.Seal.value_or(0));
    signatureAt = places.Signature;
    versionAt = places.Version;
    const std::vector<uint8_t> fields = BuildFieldBytes(request.Model, binName, imageLength);
    // The fields and the image go from the key-word's end on, and a run sends the image area up
    // to the end of the image's last chunk: the seal and the signature must lie elsewhere.
    const std::size_t sentLength =
        (imageLength + Layout::UploadChunkSize - 1) / Layout::UploadChunkSize * Layout::UploadChunkSize;
    const std::size_t writtenEnd = keyWordAt + Layout::BlockSize + sentLength;
    if (keyWordFound && (!sealFound || sealAt + SealLayout::Size > exeLength ||
                         (sealAt < writtenEnd && keyWordAt < sealAt + SealLayout::Size)))
        return fail("Building fail: not found the seal area in " + programName + ". Nothing was written.");
    // A signed copy needs its signature area where every reader finds it, away from the fields and the image.
    if (keyWordFound && request.Signer &&
        (!signatureAt || *signatureAt + SignatureLayout::Size > exeLength ||
         (*signatureAt < writtenEnd && keyWordAt < *signatureAt + SignatureLayout::Size)))
        return fail("Building fail: not found the signature area in " + programName + ". Nothing was written.");
    // A key-word the fields, the image or the profiles bring in would be a second area in the
    // copy (or a changed copy of one), and every reader would call the copy damaged.
    if (keyWordFound) {
        std::string held = KeyWordBroughtIn(exe.Get(), keyWordAt, fields, imageBytes, binName, request.ImagePath, out);
        if (held.empty())
            held = KeyWordIn(profileBytes, "the profiles file " + request.ProfilesPath, request.ProfilesPath, out);
        if (!held.empty())
            return fail("Building fail: " + held + "; a copy built with it would read as damaged. Nothing was written.");
    }
    // What a run of the copy sends: the image, then the blank copy's image area after it to
    // the end of the last chunk. The seal and the signature cover all of it.
    std::vector<uint8_t> sentBytes = imageBytes;
    if (keyWordFound && writtenEnd <= exeLength) {
        sentBytes.resize(sentLength);
        const std::size_t tail = sentLength - imageLength;
        const off_t tailAt = off_t(keyWordAt + Layout::BlockSize + imageLength);
        errno = 0;
        if (tail > 0 && ::pread(exe.Get(), sentBytes.data() + imageLength, tail, tailAt) != ssize_t(tail))
            return fail("Open " + request.ExecutablePath + " fail!", errno ? errno : EIO, request.ExecutablePath);
    }
    std::vector<uint8_t> versionArea;
    if (keyWordFound && request.Signer && versionAt) {
        versionArea.resize(VersionLayout::Size);
        if (::pread(exe.Get(), versionArea.data(), versionArea.size(), off_t(*versionAt)) != ssize_t(versionArea.size()))
            return fail("Open " + request.ExecutablePath + " fail!", errno ? errno : EIO, request.ExecutablePath);
    }

    // Progress over the program's length.
    ui.SetProgressRange(0, static_cast<int32_t>(std::min<std::size_t>(exeLength, INT32_MAX)));
    ui.SetProgressPosition(0);
    ui.SetProgressStep(ProgressStep);

    // The output, written beside its final name and renamed into place when complete.
    Descriptor directory(::open(request.OutputDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int directoryError = errno;
    // "%4.4s" would pad a name shorter than four characters with leading blanks; such a name is
    // used whole, in the texts as in the file's name.
    const std::string createFail = "Create " + outputName + " Fail";
    out.OutputPath = request.OutputDirectory + (request.OutputDirectory.ends_with('/') ? "" : "/") + outputName;
    if (!directory.Valid())
        return fail(createFail, directoryError, out.OutputPath);
    // Never over the program's own file, whatever the name's case or the path it goes by: the
    // file read as the program, and the file this process really runs from.
    struct stat existing {}, running {};
    const bool runningKnown = ::stat("/proc/self/exe", &running) == 0;
    auto sameFile = [](const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; };
    if (::fstatat(directory.Get(), outputName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        (sameFile(existing, exeInfo) || (runningKnown && sameFile(existing, running))))
        return fail("Building fail: " + out.OutputPath + " is the program's own file; it is not overwritten.");
    // Nor over what the build reads: "QF60.EXE" built from an image named QF60.EXE would
    // leave the utility and lose the image. Compared as files, so another name for the same
    // file is caught too; a symbolic link at the output name is replaced, never followed.
    const std::pair<std::string, std::string> inputs[] = {
        {request.ImagePath, "the image file"}, {request.ProfilesPath, "the profiles file"},
        {request.ModelFilePath, "the model file"}, {request.SigningKeyPath, "the signing key"}};
    for (const auto& [path, what] : inputs) {
        struct stat input {};
        if (!path.empty() && ::stat(path.c_str(), &input) == 0 &&
            ::fstatat(directory.Get(), outputName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(existing, input))
            return fail("Building fail: " + out.OutputPath + " is " + what + " " + path +
                        "; it is not overwritten. Nothing was written.");
    }
    // A device, FIFO or socket under the output name would be replaced by the rename.
    if (::fstatat(directory.Get(), outputName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode) && !S_ISDIR(existing.st_mode))
        return fail("Building fail: " + out.OutputPath + " is not a regular file; it is not replaced.");
    std::string temporaryName;
    // The guard holds its signals while the file is made and handed to it: none can end the
    // process in between and leave the file behind.
    TemporaryOutputGuard noGuard;
    TemporaryOutputGuard& guard = request.Guard ? *request.Guard : noGuard;
    guard.Hold();
    Descriptor output(CreateTemporary(directory.Get(), outputName, temporaryName));
    const int createError = errno;
    guard.Watch(output.Valid() ? directory.Get() : -1, temporaryName);
    if (!output.Valid())
        return fail(createFail, createError, out.OutputPath);

    // Writes, renames into place; on a write failure removes the partial file and tells why.
    auto removeTemporary = [&]() { ::unlinkat(directory.Get(), temporaryName.c_str(), 0); };
    auto write = [&](const uint8_t* data, std::size_t length) { return WriteAll(output.Get(), data, length); };
    auto writeFailed = [&]() {
        const int error = errno;
        removeTemporary();
        guard.Forget();
        return fail("Building fail: can't write " + out.OutputPath + ". It was not changed.", error, out.OutputPath);
    };
    // The file's content reaches the disk before its name does, so a power cut leaves either
    // no new program or a whole one, never a complete-looking empty file.
    auto finish = [&]() {
        if (::fsync(output.Get()) != 0 || ::close(output.Release()) != 0 ||
            ::renameat(directory.Get(), temporaryName.c_str(), directory.Get(), outputName.c_str()) != 0) {
            const int error = errno;
            removeTemporary();
            guard.Forget();
            errno = error;
            return false;
        }
        guard.Forget();
        // The new name too. A file system that can't sync a directory still has the content
        // safe; at worst the name is lost, and with it no good file.
        ::fsync(directory.Get());
        return true;
    };

    // Copy up to and including the key-word, found in the file by the bytes of the
    // program's own block. The copy moves through the kernel, as cp's does.
    auto copy = [&](std::size_t from, std::size_t length) { return CopyRange(exe.Get(), from, output.Get(), length); };
    if (!keyWordFound) {
        // The output stays as a plain copy of the file.
        StepOverOffsets(ui, 0, exeLength);
        if (!copy(0, exeLength))
            return writeFailed();
        if (!finish())
            return fail(createFail, errno, out.OutputPath);
        return fail("Building fail: not found key-word in " + programName);
    }
    const std::size_t keyWordEnd = keyWordAt + Layout::KeyWordSize;
    StepOverOffsets(ui, 0, keyWordEnd);
    if (!copy(0, keyWordEnd))
        return writeFailed();

    // The identity fields in place of the blank copy's.
    if (!write(fields.data(), fields.size()))
        return writeFailed();

    // The image in place of the start of the image area.
    if (!write(imageBytes.data(), imageBytes.size()))
        return writeFailed();
    for (uint32_t i = 0; i < imageLength / ProgressStep; ++i)
        ui.StepProgress();

    // The rest of the program from the same offset on.
    const std::size_t restStart = keyWordEnd + fields.size() + imageLength;
    if (restStart < exeLength) {
        StepOverOffsets(ui, restStart, exeLength);
        if (!copy(restStart, exeLength - restStart))
            return writeFailed();
    }

    // The seal, in place of the blank copy's area.
    if (restStart <= exeLength) {
        const std::vector<uint8_t> seal = MakeSeal(request.SealKey, fields, sentBytes, profileBytes);
        const ssize_t n = ::pwrite(output.Get(), seal.data(), seal.size(), off_t(sealAt));
        if (n != ssize_t(seal.size())) {
            if (n >= 0)
                errno = EIO;
            return writeFailed();
        }
        // The signature, over the block as written, the seal and the version area the copy carries.
        if (request.Signer) {
            std::vector<uint8_t> block(Layout::TotalSize, 0);
            std::copy(request.KeyWord.begin(), request.KeyWord.end(), block.begin());
            std::copy(fields.begin(), fields.end(), block.begin() + Layout::KeyWordSize);
            std::copy(sentBytes.begin(), sentBytes.end(), block.begin() + Layout::BlockSize);
            const std::vector<uint8_t> signature =
                MakeSignatureArea(request.SignatureKey, *request.Signer, IdentityBlock(block.data()), seal.data(),
                                  versionArea.empty() ? nullptr : versionArea.data());
            if (signature.empty()) {
                removeTemporary();
                guard.Forget();
                return fail("Building fail: the signature could not be made. Nothing was written.");
            }
            const ssize_t m = ::pwrite(output.Get(), signature.data(), signature.size(), off_t(*signatureAt));
            if (m != ssize_t(signature.size())) {
                if (m >= 0)
                    errno = EIO;
                return writeFailed();
            }
        }
    }

    // The copy read back as every reader will read it: a key-word that came in elsewhere (in
    // the seal's or the signature's bytes) is caught before the copy takes its name.
    if (program && restStart <= exeLength) {
        Descriptor written(::openat(directory.Get(), temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!written.Valid())
            return writeFailed();
        AreaPlaces built;
        std::string builtWhy;
        if (!LocateAreas(written.Get(), built, builtWhy) || built.Block != places.Block || !built.Damage.empty()) {
            removeTemporary();
            guard.Forget();
            const std::string cause = !built.Damage.empty() ? built.Damage
                                      : builtWhy.empty()    ? "its areas are not where they were written"
                                                            : builtWhy;
            return fail("Building fail: the copy would read as damaged (" + cause + "). Nothing was written.");
        }
    }
    if (!finish())
        return fail(createFail, errno, out.OutputPath);
    // A program that ends inside the bytes a run would send could not have been sealed whole.
    if (restStart > exeLength || writtenEnd > exeLength)
        return fail("Building fail: some problem in " + programName);
    ui.SetStatus("Build " + outputName + " complete!");
    ui.SetProgressPosition(0);
    return true;
}
