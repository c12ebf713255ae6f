// SPDX-License-Identifier: Apache-2.0
#include "builder/Builder.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "base/LittleEndian.h"
#include "builder/BuildInputs.h"
#include "builder/BuildOutputName.h"
#include "builder/BuildPlacement.h"
#include "builder/BuildWriter.h"
#include "areas/EmbeddedArea.h"

namespace {

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
    PutLittle(fields.data() + at, imageLength);
    return fields;
}

std::array<uint8_t, Layout::KeyWordSize> OwnKeyWord() {
    return KeyWordOf<Layout::KeyWordSize>(IdentityBlock::Embedded().KeyWord());
}

BuildResult BuildFlashProgram(const BuildRequest& request, ProgressObserver& progress) {
    BuildResult result;
    BuildReport& out = result.Report;
    const std::string& binName = request.SelectedBinName;
    const std::string outputName = BuildOutputName(binName);
    const std::string programName = request.ProgramName.empty() ? BaseName(request.ExecutablePath) : BaseName(request.ProgramName);
    // The detail names the file or directory the failure concerns, so a terminal line says
    // which; a failure without a system error is told by its message, which names its file.
    auto fail = [&](BuildFailure failure) {
        out.Detail = failure.Detail.empty() ? failure.Message : failure.Detail;
        result.Message = std::move(failure.Message);
        return result;
    };

    progress.SetStatus("Building " + binName + "  Please wait... ");
    BuildInputs inputs;
    if (BuildProblem problem = ReadBuildInputs(request, inputs, out.Warnings))
        return fail(std::move(*problem));
    BuildPlacement placement;
    if (BuildProblem problem = PlaceAreas(request, inputs, programName, placement))
        return fail(std::move(*problem));

    // Progress over the program's length.
    progress.SetProgressRange(0, static_cast<int32_t>(std::min<std::size_t>(placement.ExeLength, INT32_MAX)));
    progress.SetProgressPosition(0);
    progress.SetProgressStep(BuildProgressStep);

    // "%4.4s" would pad a name shorter than four characters with leading blanks; such a name is
    // used whole, in the texts as in the file's name.
    out.OutputPath = request.OutputDirectory + (request.OutputDirectory.ends_with('/') ? "" : "/") + outputName;
    Descriptor directory;
    if (BuildProblem problem = CheckOutputName(request, placement.ExeInfo, outputName, out.OutputPath, directory))
        return fail(std::move(*problem));
    if (BuildProblem problem = WriteBuiltCopy(request, inputs, placement, directory.Get(), outputName, out.OutputPath,
                                              programName, progress))
        return fail(std::move(*problem));
    progress.SetStatus("Build " + outputName + " complete!");
    progress.SetProgressPosition(0);
    result.Built = true;
    return result;
}
