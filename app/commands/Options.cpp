#include "app/commands/Options.h"

#include <cstdlib>
#include <cstring>

namespace {

bool TakesValue(const std::string& name) {
    return name == "--device" || name == "--trace" || name == "--model" || name == "--image" ||
           name == "--output-dir" || name == "--profiles";
}

bool ParseWholeNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 6)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    value = std::atoi(text.c_str());
    return true;
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options options;
    int modes = 0;
    auto setMode = [&](Options::Mode mode) {
        options.Command = mode;
        ++modes;
    };

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            auto eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        if (TakesValue(arg) && !hasInlineValue) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "option " + arg + " needs a value";
                return std::nullopt;
            }
            value = argv[++i];
        } else if (hasInlineValue && !TakesValue(arg) && arg != "--virtual-drive") {
            error = "option " + arg + " takes no value";
            return std::nullopt;
        }

        if (arg == "--list") setMode(Options::Mode::List);
        else if (arg == "--cli") setMode(Options::Mode::Cli);
        else if (arg == "--build") setMode(Options::Mode::Build);
        else if (arg == "--help" || arg == "-h") setMode(Options::Mode::Help);
        else if (arg == "--version") setMode(Options::Mode::Version);
        else if (arg == "--yes") options.Yes = true;
        else if (arg == "--json") options.Json = true;
        else if (arg == "--trace-data") options.TraceData = true;
        else if (arg == "--device") options.Device = value;
        else if (arg == "--trace") options.TraceFile = value;
        else if (arg == "--image") options.Image = value;
        else if (arg == "--output-dir") options.OutputDir = value;
        else if (arg == "--profiles") options.Profiles = value;
        else if (arg == "--no-commit") options.NoCommit = true;
        else if (arg == "--virtual-drive") options.VirtualDrive = value;
        else if (arg == "--model") {
            int n = 0;
            if (!ParseWholeNumber(value, n) || n > 99) {
                error = "--model takes a model number from 0 to 99, not '" + value + "'";
                return std::nullopt;
            }
            options.Model = n;
        } else if (arg == "-platform" || arg == "-display" || arg == "-style") {
            // Qt's own window options pass through to the window.
            options.WindowArguments.push_back(arg);
            if (i + 1 < argc)
                options.WindowArguments.push_back(argv[++i]);
        } else {
            error = "unknown option '" + std::string(argv[i]) + "' (see --help)";
            return std::nullopt;
        }
    }

    if (modes > 1) {
        error = "choose one of --list, --cli, --build, --help, --version";
        return std::nullopt;
    }
    using M = Options::Mode;
    const M mode = options.Command;
    if (mode == M::Help || mode == M::Version)
        return options;
    if (options.Yes && mode != M::Cli) { error = "--yes goes with --cli"; return std::nullopt; }
    if (options.Json && mode != M::List) { error = "--json goes with --list"; return std::nullopt; }
    if (options.TraceFile && mode != M::Cli && mode != M::Window) { error = "--trace goes with --cli or the window"; return std::nullopt; }
    if (options.TraceData && !options.TraceFile) { error = "--trace-data goes with --trace FILE"; return std::nullopt; }
    if (options.NoCommit && mode != M::Cli && mode != M::Window) { error = "--no-commit goes with --cli or the window"; return std::nullopt; }
    if (options.Profiles && mode != M::Build) { error = "--profiles goes with --build"; return std::nullopt; }
    const bool buildOption = options.Model || options.Image || options.OutputDir;
    if (buildOption && mode != M::Build) { error = "--model, --image and --output-dir go with --build"; return std::nullopt; }
    if (mode == M::Build) {
        if (!options.Model) { error = "--build needs --model N"; return std::nullopt; }
        if (!options.Image) { error = "--build needs --image FILE"; return std::nullopt; }
        if (options.Device || options.VirtualDrive) { error = "--build uses no drive"; return std::nullopt; }
    }
    if (!options.WindowArguments.empty() && mode != M::Window) {
        error = "window options go with the window only";
        return std::nullopt;
    }
    return options;
}
