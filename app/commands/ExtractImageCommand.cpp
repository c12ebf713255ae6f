// SPDX-License-Identifier: Apache-2.0
// flashutil --extract-image OUT [FILE]: writes the firmware image this program (or the copy
// in FILE) carries, its stored length, to OUT. OUT is written as the builder writes a
// utility: a temporary file beside it, synced and renamed into place, never through a link
// and never over the program itself or the copy read.

#include <cstdio>
#include <span>
#include <string>

#include "flash/FlashTexts.h"
#include "flash/UtilityFacts.h"
#include "image/OutputFile.h"
#include "app/commands/Options.h"
#include "app/commands/RemoveOnSignal.h"
#include "app/commands/UtilitySubject.h"

int RunExtractImage(const Options& options) {
    UtilitySubject subject;
    std::string why;
    if (!LoadUtilitySubject(options.Subject.value_or(""), subject, why)) {
        std::fprintf(stderr, "flashutil: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    const std::string name = subject.File.empty() ? std::string("this program") : subject.File;
    const IdentityBlock block = subject.View();
    const UtilityFacts facts = DescribeUtility(block, subject.Seal, subject.Version, subject.PlaceDamage);
    if (facts.Blank) {
        std::fprintf(stderr, "flashutil: %s is a blank copy: it carries no firmware image\n", name.c_str());
        return ExitCode::Failure;
    }
    if (!facts.ImageFits) {
        std::fprintf(stderr, "flashutil: %s is damaged: its image length %u does not fit the image area of %zu bytes\n",
                     name.c_str(), facts.ImageLength, Layout::ImageCapacity);
        return ExitCode::Failure;
    }
    // What the copy carries now is written either way; the person is told it is not what was built.
    if (facts.Seal == UtilityFacts::SealState::Damaged)
        std::fprintf(stderr, "flashutil: warning: %s is damaged (%s); the image written is what it carries now\n",
                     name.c_str(), facts.SealProblem.c_str());
    // A copy built before utilities were sealed: said under --quiet too, as nothing vouches for the image.
    if (facts.Seal == UtilityFacts::SealState::Absent)
        std::fprintf(stderr, "flashutil: %s\n", FlashTexts::UnsealedUtility(name).c_str());

    OutputFileRequest request;
    request.Path = *options.ExtractOutput;
    request.Bytes = std::span<const uint8_t>(block.Image(), facts.ImageLength);
    if (!subject.Own)
        request.Untouchable.push_back(subject.File);
    RemoveOnSignal removeOnSignal;
    request.Guard = &removeOnSignal;
    if (!WriteOutputFile(request, why)) {
        std::fprintf(stderr, "flashutil: can't write the image: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    if (!options.Quiet)
        std::printf("Wrote %s (%u bytes, SHA-256 %s)\n", request.Path.c_str(), facts.ImageLength,
                    facts.ImageSha256.c_str());
    return ExitCode::Success;
}
