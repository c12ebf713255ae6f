// SPDX-License-Identifier: Apache-2.0
#include "builder/BuildPlacement.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "builder/Builder.h"
#include "areas/VersionArea.h"

namespace {

// "the seal area's key-word", or "a changed copy of ..." for a near one.
std::string HitName(const KeyWordHit& hit) {
    return (hit.Near ? "a changed copy of the " : "the ") + hit.Area + "'s key-word";
}

// A key-word of an area in bytes, read from the file path and named as what; none for nothing.
BuildProblem KeyWordIn(const std::vector<uint8_t>& bytes, const std::string& what, const std::string& path) {
    const std::optional<KeyWordHit> hit = FirstKeyWord(bytes.data(), bytes.size());
    if (!hit)
        return std::nullopt;
    const std::string where = HitName(*hit) + " at offset " + std::to_string(hit->Offset);
    return BuildFailure{what + " holds " + where, path + ": " + where};
}

// The same for the fields and the image as they will lie in the copy, between the key-word at
// keyWordAt and the program's bytes after the image: a key-word across their seams counts too.
BuildProblem KeyWordBroughtIn(int exe, std::size_t keyWordAt, const std::vector<uint8_t>& fields,
                              const std::vector<uint8_t>& image, const std::string& binName,
                              const std::string& imagePath) {
    std::vector<uint8_t> stretch(Layout::KeyWordSize);
    if (::pread(exe, stretch.data(), stretch.size(), off_t(keyWordAt)) != ssize_t(stretch.size()))
        return std::nullopt;  // the copy's own key-word, as the locator found it
    stretch.insert(stretch.end(), fields.begin(), fields.end());
    const std::size_t imageStart = stretch.size();
    stretch.insert(stretch.end(), image.begin(), image.end());
    uint8_t after[Layout::KeyWordSize - 1];
    const ssize_t n = ::pread(exe, after, sizeof after, off_t(keyWordAt + imageStart + image.size()));
    stretch.insert(stretch.end(), after, after + std::max<ssize_t>(n, 0));
    const std::optional<KeyWordHit> hit = FirstKeyWord(stretch.data(), stretch.size(), 1);
    if (!hit)
        return std::nullopt;
    if (hit->Offset + Layout::KeyWordSize <= imageStart)
        return BuildFailure{"the model's texts hold " + HitName(*hit),
                            "the model's texts (Model, Inquiry, FW-Range, Vendor, Note): " + HitName(*hit)};
    // One that begins in the fields ends in the image: it is told at the image's start.
    const std::size_t offset = hit->Offset > imageStart ? hit->Offset - imageStart : 0;
    const std::string where = HitName(*hit) + " at offset " + std::to_string(offset);
    return BuildFailure{binName + " holds " + where, imagePath + ": " + where};
}

// Whether an area of size bytes at offset lies outside the program or over what a run sends.
bool Misplaced(const BuildPlacement& at, std::optional<uint64_t> offset, std::size_t size) {
    return !offset || *offset + size > at.ExeLength || (*offset < at.WrittenEnd && at.KeyWordAt < *offset + size);
}

// The areas' places checked: the seal and the signature must lie away from the fields and the
// image, and nothing the copy brings in may read as a second area.
BuildProblem CheckPlaces(const BuildRequest& request, const BuildInputs& inputs, const std::string& programName,
                         const BuildPlacement& at) {
    if (!at.KeyWordFound)
        return std::nullopt;
    // The seal area, its own object: a program without one could not seal what it builds.
    if (Misplaced(at, at.Places.Seal, SealLayout::Size))
        return Failed("Building fail: not found the seal area in " + programName + ". Nothing was written.");
    // A signed copy needs its signature area where every reader finds it, away from the fields and the image.
    if (request.Signer && Misplaced(at, at.SignatureAt, SignatureLayout::Size))
        return Failed("Building fail: not found the signature area in " + programName + ". Nothing was written.");
    // A key-word the fields, the image or the profiles bring in would be a second area in the
    // copy (or a changed copy of one), and every reader would call the copy damaged.
    BuildProblem held = KeyWordBroughtIn(at.Exe.Get(), at.KeyWordAt, at.Fields, inputs.Image,
                                         request.SelectedBinName, request.ImagePath);
    if (!held)
        held = KeyWordIn(inputs.Profiles, "the profiles file " + request.ProfilesPath, request.ProfilesPath);
    if (held)
        held->Message = "Building fail: " + held->Message + "; a copy built with it would read as damaged. Nothing was written.";
    return held;
}

// What a run of the copy sends: the image, then the blank copy's image area after it to the
// end of the last chunk. The seal and the signature cover all of it, and the signature the
// version area too.
BuildProblem ReadCovered(const BuildRequest& request, const BuildInputs& inputs, BuildPlacement& at) {
    const std::string openFail = "Open " + request.ExecutablePath + " fail!";
    const std::size_t imageLength = inputs.Image.size();
    at.Sent = inputs.Image;
    if (at.KeyWordFound && at.WrittenEnd <= at.ExeLength) {
        at.Sent.resize(at.SentLength);
        const std::size_t tail = at.SentLength - imageLength;
        const off_t tailAt = off_t(at.KeyWordAt + Layout::BlockSize + imageLength);
        errno = 0;
        if (tail > 0 && ::pread(at.Exe.Get(), at.Sent.data() + imageLength, tail, tailAt) != ssize_t(tail))
            return Failed(openFail, errno ? errno : EIO, request.ExecutablePath);
    }
    if (at.KeyWordFound && request.Signer && at.VersionAt) {
        at.VersionArea.resize(VersionLayout::Size);
        if (::pread(at.Exe.Get(), at.VersionArea.data(), at.VersionArea.size(), off_t(*at.VersionAt)) !=
            ssize_t(at.VersionArea.size()))
            return Failed(openFail, errno ? errno : EIO, request.ExecutablePath);
    }
    return std::nullopt;
}

}  // namespace

BuildProblem PlaceAreas(const BuildRequest& request, const BuildInputs& inputs, const std::string& programName,
                        BuildPlacement& out) {
    const std::string openFail = "Open " + request.ExecutablePath + " fail!";
    out.Exe = Descriptor(::open(request.ExecutablePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!out.Exe.Valid() || ::fstat(out.Exe.Get(), &out.ExeInfo) != 0)
        return Failed(openFail, errno, request.ExecutablePath);
    out.ExeLength = std::size_t(out.ExeInfo.st_size);
    // A program file: its areas where every reader of a copy finds them, so that the copy's
    // fields and seal land where the copy runs with them. A file of any other kind is
    // searched for the key-words.
    std::string locateWhy;
    out.Program = LocateAreas(out.Exe.Get(), out.Places, locateWhy);
    if (!out.Program && !LocateKeyWords(out.Exe.Get(), request.KeyWord, request.SealKey, out.Places))
        return Failed(openFail, errno, request.ExecutablePath);
    if (!out.Places.Damage.empty())
        return Failed("Building fail: " + programName + " is damaged (" + out.Places.Damage + "). Nothing was written.");
    out.KeyWordFound = out.Places.Block.has_value();
    out.KeyWordAt = std::size_t(out.Places.Block.value_or(0));
    out.SealAt = std::size_t(out.Places.Seal.value_or(0));
    out.SignatureAt = out.Places.Signature;
    out.VersionAt = out.Places.Version;
    const uint32_t imageLength = static_cast<uint32_t>(inputs.Image.size());
    out.Fields = BuildFieldBytes(request.Model, request.SelectedBinName, imageLength);
    // The fields and the image go from the key-word's end on, and a run sends the image area up
    // to the end of the image's last chunk: the seal and the signature must lie elsewhere.
    out.SentLength = (imageLength + Layout::UploadChunkSize - 1) / Layout::UploadChunkSize * Layout::UploadChunkSize;
    out.WrittenEnd = out.KeyWordAt + Layout::BlockSize + out.SentLength;
    if (BuildProblem problem = CheckPlaces(request, inputs, programName, out))
        return problem;
    return ReadCovered(request, inputs, out);
}
