// SPDX-License-Identifier: Apache-2.0
// flashutil --extract-image OUT [FILE]: writes the firmware image this program (or the copy
// in FILE) carries, its stored length, to OUT ("-": standard output). OUT is written as the
// builder writes a utility: a temporary file beside it, synced and renamed into place; a
// link, device, FIFO or socket at OUT, the program itself and the copy read are left alone.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "flash/FlashTexts.h"
#include "flash/UtilityFacts.h"
#include "base/RegularFile.h"
#include "base/OutputFile.h"
#include "app/commands/Commands.h"
#include "areas/UtilityFile.h"

namespace {

// "-": the image goes down a pipe or into a file the shell opened. Never into a terminal, where
// it would only be noise, and never appended to the copy it comes from.
int WriteToStandardOutput(std::span<const uint8_t> image, const UtilityCopy& subject, bool quiet,
                          const std::string& sha256) {
    struct stat out {}, copy {};
    if (::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "flashutil: can't write the image: standard output is a terminal (redirect it)\n");
        return ExitCode::Failure;
    }
    const std::string source = subject.Own ? std::string("/proc/self/exe") : subject.File;
    if (::fstat(STDOUT_FILENO, &out) == 0 && ::stat(source.c_str(), &copy) == 0 && out.st_dev == copy.st_dev &&
        out.st_ino == copy.st_ino) {
        std::fprintf(stderr, "flashutil: can't write the image: standard output is the copy read\n");
        return ExitCode::Failure;
    }
    errno = 0;
    if (!WriteAll(STDOUT_FILENO, image.data(), image.size())) {
        const int error = errno != 0 ? errno : EIO;  // a write that moved nothing sets none
        std::fprintf(stderr, "flashutil: can't write the image to standard output: %s\n", std::strerror(error));
        return ExitCode::Failure;
    }
    // The line that names the result goes beside the image, not into it.
    if (!quiet)
        std::fprintf(stderr, "Wrote standard output (%zu bytes, SHA-256 %s)\n", image.size(), sha256.c_str());
    return ExitCode::Success;
}

}  // namespace

int RunExtractImage(const Options& options, ProcessPlumbing& process) {
    UtilityCopy subject;
    std::string why;
    // The image is hashed on its own; the whole file is not.
    if (!LoadUtilityCopy(options.Subject.value_or(""), subject, why, WholeFileHash::Leave)) {
        std::fprintf(stderr, "flashutil: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    const std::string name = subject.File.empty() ? std::string("this program") : subject.File;
    const IdentityBlock block = subject.View();
    const UtilityFacts facts = DescribeUtility(block, subject.Areas.Seal, subject.Areas.Version, subject.Areas.PlaceDamage);
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

    // The image is what is written; a run sends its last chunk whole, with the area's bytes after it.
    if (!options.Quiet && facts.SentLength > facts.ImageLength)
        std::fprintf(stderr,
                     "flashutil: note: a run of %s sends %u bytes, the image and the %u bytes of the image area after "
                     "it (SHA-256 %s); the file written holds the image alone\n",
                     name.c_str(), facts.SentLength, facts.SentLength - facts.ImageLength, facts.SentSha256.c_str());

    const std::span<const uint8_t> image(block.Image(), facts.ImageLength);
    if (*options.ExtractOutput == "-")
        return WriteToStandardOutput(image, subject, options.Quiet, facts.ImageSha256);

    OutputFileRequest request;
    request.Path = *options.ExtractOutput;
    request.Bytes = image;
    if (!subject.Own)
        request.Untouchable.push_back(subject.File);
    const std::unique_ptr<TemporaryOutputGuard> removeOnSignal = process.NewOutputGuard();
    request.Guard = removeOnSignal.get();
    if (!WriteOutputFile(request, why)) {
        std::fprintf(stderr, "flashutil: can't write the image: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    if (!options.Quiet)
        std::printf("Wrote %s (%u bytes, SHA-256 %s)\n", request.Path.c_str(), facts.ImageLength,
                    facts.ImageSha256.c_str());
    return ExitCode::Success;
}
