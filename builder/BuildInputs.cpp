// SPDX-License-Identifier: Apache-2.0
#include "builder/BuildInputs.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/RegularFile.h"
#include "areas/RevisionRange.h"

namespace {

// Up to limit bytes of the regular file at path; a failure is told by message, with the file
// and the cause as its detail.
BuildProblem ReadInput(const std::string& path, std::size_t limit, std::vector<uint8_t>& bytes,
                       const std::string& message) {
    std::string why;
    const Descriptor file = OpenRegularFile(path, why, "not a regular file");
    if (!file.Valid())
        return BuildFailure{message, path + ": " + why};
    if (!ReadUpTo(file.Get(), limit, bytes))
        return Failed(message, errno, path);
    return std::nullopt;
}

BuildProblem CheckImage(const std::string& binName, const std::vector<uint8_t>& imageBytes) {
    // A longer image would overwrite what follows the image area in the output.
    if (imageBytes.size() > Layout::ImageCapacity) {
        return Failed("Building fail: " + binName + " is longer than the " + std::to_string(Layout::ImageCapacity) +
                      " bytes the image area holds. Nothing was written.");
    }
    // The output runs as a flash utility only when its image area no longer starts with the
    // blank marker. The image takes the place of the area's first bytes, and the blank bytes
    // after a short image stay: an empty image, or one that starts like the marker, would
    // make another builder and call it a flash utility.
    if (imageBytes.empty())
        return Failed("Building fail: " + binName + " is empty. Nothing was written.");
    const std::size_t markerBytes = std::min(imageBytes.size(), sizeof Layout::BlankMarker);
    if (std::equal(imageBytes.begin(), imageBytes.begin() + std::ptrdiff_t(markerBytes), Layout::BlankMarker))
        return Failed("Building fail: " + binName + " starts like the blank marker \"ZYRT\", so the output would be a "
                      "builder, not a flash utility. Nothing was written.");
    return std::nullopt;
}

BuildProblem ReadProfiles(const std::string& path, std::vector<uint8_t>& profileBytes) {
    const std::string openFail = "Building fail: can't read the profiles file " + path + ". Nothing was written.";
    if (BuildProblem problem = ReadInput(path, Profiles::DataSize + 1, profileBytes, openFail))
        return problem;
    if (profileBytes.size() != Profiles::DataSize)
        return Failed("Building fail: the profiles file " + path + " holds " + std::to_string(profileBytes.size()) +
                      " bytes, not the " + std::to_string(Profiles::DataSize) +
                      " bytes of the maker's four flash-chip profiles. Nothing was written.");
    return std::nullopt;
}

}  // namespace

BuildProblem ReadBuildInputs(const BuildRequest& request, BuildInputs& inputs, std::vector<std::string>& warnings) {
    const std::string& binName = request.SelectedBinName;
    // The output's name comes from a bare file name; anything else could reach another directory.
    if (binName.empty() || binName == "." || binName == ".." || binName.find('/') != std::string::npos ||
        binName.find('\0') != std::string::npos)
        return Failed("Building fail: \"" + binName + "\" is not the name of an image file.");
    // The image, read whole before anything is written.
    if (BuildProblem problem = ReadInput(request.ImagePath, Layout::ImageCapacity + 1, inputs.Image,
                                         "Open " + binName + " fail!"))
        return problem;
    if (BuildProblem problem = CheckImage(binName, inputs.Image))
        return problem;
    // A range that admits no revision is built as asked; the person is told what it means,
    // by the rule the drive check applies.
    if (std::string warning = RevisionRangeWarning(request.Model.FwRange); !warning.empty())
        warnings.push_back(std::move(warning));
    // The maker's profiles, read whole before anything is written.
    if (!request.ProfilesPath.empty())
        return ReadProfiles(request.ProfilesPath, inputs.Profiles);
    return std::nullopt;
}
