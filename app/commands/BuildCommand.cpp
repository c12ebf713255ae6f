// SPDX-License-Identifier: Apache-2.0
// --build: the builder without the window, for packaging scripts. A blank copy reads the
// model INI (--ini, else the first found beside it, in the user's or the system's
// configuration directory) and writes the flash utility for model line N and an image file,
// signed with the maker's key when --sign-key names one.

#include <cstdio>
#include <string>

#include "builder/Builder.h"
#include "areas/IdentityBlock.h"
#include "model/ModelConfig.h"
#include "model/ModelFileLookup.h"
#include "trust/Signature.h"
#include "app/commands/Commands.h"
#include "app/terminal/ErrorLine.h"
#include "app/terminal/TerminalUserInterface.h"
#include "ui/Translate.h"

namespace {

// Every box the builder and the INI reader show is a failure report; on the terminal it
// goes to the error stream.
class BuildTerminal : public TerminalUserInterface {
public:
    explicit BuildTerminal(bool quiet) : TerminalUserInterface(false) { SetQuiet(quiet); }
    MessageAnswer ShowMessage(const MessageRequest& request) override {
        MessageRequest failure = request;
        if (failure.Kind == MessageKind::Plain)
            failure.Kind = MessageKind::Error;
        return TerminalUserInterface::ShowMessage(failure);
    }
};

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int RunBuild(const Options& options, const char* argv0, ProcessPlumbing& process) {
    const IdentityBlock block = IdentityBlock::Embedded();
    if (!block.IsBlankCopy()) {
        SayError("this copy is a built flash utility (model " + block.Model() + ", firmware " +
            block.NewFwName().substr(0, 4) + "); only a blank copy builds flash utilities");
        return ExitCode::Failure;
    }
    const std::string executable = RunningExecutablePath();
    if (executable.empty()) {
        std::perror("flashutil: can't find the program's own file through /proc/self/exe");
        return ExitCode::Failure;
    }

    // The maker's key, refused before anything else is read when others could read it too.
    SigningKey signer;
    std::string why;
    if (options.SignKey && !LoadSigningKey(*options.SignKey, signer, why)) {
        SayError(why);
        return ExitCode::Failure;
    }

    BuildTerminal ui(options.Quiet);
    ModelLists lists;
    const ModelFileLocation modelFile =
        LocateModelFile(executable, options.IniFile.value_or(""), ConfigEnvironment::FromProcess());
    if (!RetriveINI(modelFile, ExampleModelFile(executable), ui, lists, &why)) {
        if (!why.empty())
            SayError((modelFile.Path.empty() ? modelFile.Places.front() : modelFile.Path) + ": " + why);
        return ExitCode::Failure;
    }
    const std::size_t model = static_cast<std::size_t>(*options.Model);
    if (model >= lists.ModelLines.size()) {
        SayError(modelFile.Path + " has " + std::to_string(lists.ModelLines.size()) + " model(s), numbered 0 to " +
            std::to_string(lists.ModelLines.size() - 1) + "; there is no model " + std::to_string(model));
        return ExitCode::Usage;
    }
    if (!options.Quiet)
        std::printf("Model %zu: %s  %s\n", model, lists.ModelList[model].c_str(), lists.ModelLines[model].c_str());

    BuildRequest request;
    request.ImagePath = *options.Image;
    request.SelectedBinName = BaseName(*options.Image);
    request.Model = ModelAt(lists, model);
    request.OutputDirectory = options.OutputDir.value_or(".");
    request.ExecutablePath = executable;
    request.ProgramName = argv0 ? argv0 : "";
    request.KeyWord = OwnKeyWord();
    // The maker's profiles: the option's file, else the model's "Profiles" key.
    request.ProfilesPath = options.Profiles ? *options.Profiles : ProfilesAt(lists, model);
    request.ModelFilePath = modelFile.Path;
    if (options.SignKey) {
        request.Signer = &signer;
        request.SigningKeyPath = *options.SignKey;
    }

    const std::unique_ptr<TemporaryOutputGuard> removeOnSignal = process.NewOutputGuard();
    request.Guard = removeOnSignal.get();
    const BuildResult result = BuildFlashProgram(request, ui);
    if (!result.Built)
        ui.Show(result.Message);
    const BuildReport& report = result.Report;
    const bool built = result.Built;
    ui.EndProgressLine();
    for (const std::string& warning : report.Warnings)
        SayError("warning: " + warning);
    if (!report.Detail.empty())
        SayError(report.Detail);
    if (!built)
        return ExitCode::Failure;
    if (!options.Quiet)
        std::printf(_("Wrote %s\n"), report.OutputPath.c_str());
    if (!options.Quiet && options.SignKey)
        std::printf(_("Signed with the key %s\n"), KeyFingerprint(signer.Public()).c_str());
    return ExitCode::Success;
}
