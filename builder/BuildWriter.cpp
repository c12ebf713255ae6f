// SPDX-License-Identifier: Apache-2.0
#include "builder/BuildWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/RegularFile.h"
#include "base/TemporaryFile.h"
#include "builder/FileCopy.h"

namespace {

// One step for every offset in [from, to) that is a multiple of the step: the progress the
// byte-by-byte copy makes over those offsets.
void StepOverOffsets(ProgressObserver& progress, std::size_t from, std::size_t to) {
    if (to <= from)
        return;
    const std::size_t first = (from + BuildProgressStep - 1) / BuildProgressStep;
    const std::size_t last = (to + BuildProgressStep - 1) / BuildProgressStep;
    for (std::size_t i = first; i < last; ++i)
        progress.StepProgress();
}

// The output being written, and how each of its failures is told.
struct Output {
    TemporaryFile& File;
    const std::string& Path;
    const std::string CreateFail;

    // A write failed: the partial file goes, the name was never touched.
    BuildFailure WriteFailed() const {
        const int error = errno;
        File.Discard();
        return Failed("Building fail: can't write " + Path + ". It was not changed.", error, Path);
    }
    // The file's content reaches the disk before its name does, so a power cut leaves either
    // no new program or a whole one, never a complete-looking empty file.
    BuildProblem Commit() const {
        if (!File.Commit())
            return Failed(CreateFail, errno, Path);
        return std::nullopt;
    }
    bool WriteAt(const std::vector<uint8_t>& bytes, uint64_t offset) const {
        const ssize_t n = ::pwrite(File.Get(), bytes.data(), bytes.size(), off_t(offset));
        if (n != ssize_t(bytes.size()) && n >= 0)
            errno = EIO;
        return n == ssize_t(bytes.size());
    }
};

// The seal in place of the blank copy's area, and the signature over the block as written,
// the seal and the version area the copy carries.
BuildProblem WriteSealAndSignature(const BuildRequest& request, const BuildInputs& inputs, const BuildPlacement& at,
                                   const Output& output) {
    const std::vector<uint8_t> seal = MakeSeal(request.SealKey, at.Fields, at.Sent, inputs.Profiles);
    if (!output.WriteAt(seal, at.SealAt))
        return output.WriteFailed();
    if (!request.Signer)
        return std::nullopt;
    std::vector<uint8_t> block(Layout::TotalSize, 0);
    std::copy(request.KeyWord.begin(), request.KeyWord.end(), block.begin());
    std::copy(at.Fields.begin(), at.Fields.end(), block.begin() + Layout::KeyWordSize);
    std::copy(at.Sent.begin(), at.Sent.end(), block.begin() + Layout::BlockSize);
    const std::vector<uint8_t> signature =
        MakeSignatureArea(request.SignatureKey, *request.Signer, IdentityBlock(block.data()), seal.data(),
                          at.VersionArea.empty() ? nullptr : at.VersionArea.data());
    if (signature.empty()) {
        output.File.Discard();
        return Failed("Building fail: the signature could not be made. Nothing was written.");
    }
    if (!output.WriteAt(signature, *at.SignatureAt))
        return output.WriteFailed();
    return std::nullopt;
}

// The copy read back as every reader will read it: a key-word that came in elsewhere (in the
// seal's or the signature's bytes) is caught before the copy takes its name.
BuildProblem ReadBack(const BuildPlacement& at, int directory, const Output& output) {
    Descriptor written(::openat(directory, output.File.Name().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!written.Valid())
        return output.WriteFailed();
    AreaPlaces built;
    std::string builtWhy;
    if (!LocateAreas(written.Get(), built, builtWhy) || built.Block != at.Places.Block || !built.Damage.empty()) {
        output.File.Discard();
        const std::string cause = !built.Damage.empty() ? built.Damage
                                  : builtWhy.empty()    ? "its areas are not where they were written"
                                                        : builtWhy;
        return Failed("Building fail: the copy would read as damaged (" + cause + "). Nothing was written.");
    }
    return std::nullopt;
}

}  // namespace

BuildProblem WriteBuiltCopy(const BuildRequest& request, const BuildInputs& inputs, const BuildPlacement& at,
                            int directory, const std::string& outputName, const std::string& outputPath,
                            const std::string& programName, ProgressObserver& progress) {
    TemporaryFile file(directory, outputName, 0755, request.Guard);
    const Output output{file, outputPath, "Create " + outputName + " Fail"};
    if (!file.Valid())
        return Failed(output.CreateFail, errno, outputPath);
    // The copy moves through the kernel, as cp's does.
    auto copy = [&](std::size_t from, std::size_t length) { return CopyRange(at.Exe.Get(), from, file.Get(), length); };
    if (!at.KeyWordFound) {
        // The output stays as a plain copy of the file.
        StepOverOffsets(progress, 0, at.ExeLength);
        if (!copy(0, at.ExeLength))
            return output.WriteFailed();
        if (BuildProblem problem = output.Commit())
            return problem;
        return Failed("Building fail: not found key-word in " + programName);
    }
    // Up to and including the key-word, then the identity fields in place of the blank
    // copy's, the image in place of the start of the image area.
    const std::size_t keyWordEnd = at.KeyWordAt + Layout::KeyWordSize;
    StepOverOffsets(progress, 0, keyWordEnd);
    if (!copy(0, keyWordEnd) || !WriteAll(file.Get(), at.Fields.data(), at.Fields.size()) ||
        !WriteAll(file.Get(), inputs.Image.data(), inputs.Image.size()))
        return output.WriteFailed();
    for (std::size_t i = 0; i < inputs.Image.size() / BuildProgressStep; ++i)
        progress.StepProgress();
    // The rest of the program from the same offset on.
    const std::size_t restStart = keyWordEnd + at.Fields.size() + inputs.Image.size();
    if (restStart < at.ExeLength) {
        StepOverOffsets(progress, restStart, at.ExeLength);
        if (!copy(restStart, at.ExeLength - restStart))
            return output.WriteFailed();
    }
    if (restStart <= at.ExeLength) {
        if (BuildProblem problem = WriteSealAndSignature(request, inputs, at, output))
            return problem;
        if (at.Program)
            if (BuildProblem problem = ReadBack(at, directory, output))
                return problem;
    }
    if (BuildProblem problem = output.Commit())
        return problem;
    // A program that ends inside the bytes a run would send could not have been sealed whole.
    if (restStart > at.ExeLength || at.WrittenEnd > at.ExeLength)
        return Failed("Building fail: some problem in " + programName);
    return std::nullopt;
}
