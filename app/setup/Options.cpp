// SPDX-License-Identifier: Apache-2.0
#include "app/setup/Options.h"

#include <getopt.h>

#include <cstdlib>
#include <cstring>

namespace {

// Codes for the options that have no short form; above every character getopt returns.
enum LongOnly : int {
    OptList = 256, OptCli, OptBuild, OptInfo, OptExtractImage, OptHistory, OptAll, OptJson,
    OptTrace, OptTraceData, OptNoCommit, OptVirtualDrive, OptModel, OptImage, OptOutputDir,
    OptProfiles, OptIni, OptSignKey, OptVerify, OptChooseUtility, OptChooseModelFile, OptDeviceId,
};

constexpr option LongOptions[] = {
    {"list", no_argument, nullptr, OptList},
    {"cli", no_argument, nullptr, OptCli},
    {"build", no_argument, nullptr, OptBuild},
    {"info", no_argument, nullptr, OptInfo},
    {"extract-image", required_argument, nullptr, OptExtractImage},
    {"history", no_argument, nullptr, OptHistory},
    {"device-id", required_argument, nullptr, OptDeviceId},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"device", required_argument, nullptr, 'd'},
    {"virtual-drive", optional_argument, nullptr, OptVirtualDrive},
    {"all", no_argument, nullptr, OptAll},
    {"yes", no_argument, nullptr, 'y'},
    {"json", optional_argument, nullptr, OptJson},
    {"verbose", no_argument, nullptr, 'v'},
    {"quiet", no_argument, nullptr, 'q'},
    {"trace", required_argument, nullptr, OptTrace},
    {"trace-data", no_argument, nullptr, OptTraceData},
    {"no-commit", no_argument, nullptr, OptNoCommit},
    {"model", required_argument, nullptr, OptModel},
    {"image", required_argument, nullptr, OptImage},
    {"output-dir", required_argument, nullptr, OptOutputDir},
    {"profiles", required_argument, nullptr, OptProfiles},
    {"ini", required_argument, nullptr, OptIni},
    {"sign-key", required_argument, nullptr, OptSignKey},
    {"verify", no_argument, nullptr, OptVerify},
    {"choose-utility", no_argument, nullptr, OptChooseUtility},
    {"choose-model-file", no_argument, nullptr, OptChooseModelFile},
    {nullptr, 0, nullptr, 0},
};
// The leading ':' makes getopt report a missing value apart from an unknown option.
constexpr const char* ShortOptions = ":hVyd:vq";

bool IsQtWindowOption(const char* arg) {
    return std::strcmp(arg, "-platform") == 0 || std::strcmp(arg, "-display") == 0 ||
           std::strcmp(arg, "-style") == 0;
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

// The long option a word stands for, as the person typed it without any "=value".
std::string LongName(const char* word) {
    std::string name = word;
    const auto eq = name.find('=');
    return eq == std::string::npos ? name : name.substr(0, eq);
}

// getopt only says "unknown" for an abbreviation that fits several options; name them.
std::string UnknownLongOption(const std::string& name) {
    const std::string stem = name.substr(2);
    std::string fits;
    int count = 0;
    for (const option* o = LongOptions; o->name; ++o)
        if (!stem.empty() && std::strncmp(o->name, stem.c_str(), stem.size()) == 0) {
            fits += (count++ ? ", --" : "--") + std::string(o->name);
        }
    if (count > 1)
        return "option '" + name + "' is ambiguous: it could be " + fits;
    return "unknown option '" + name + "' (see --help)";
}

const char* ModeOptionName(Options::Mode mode) {
    switch (mode) {
    case Options::Mode::List: return "--list";
    case Options::Mode::Cli: return "--cli";
    case Options::Mode::Build: return "--build";
    case Options::Mode::Help: return "--help";
    case Options::Mode::Version: return "--version";
    case Options::Mode::Info: return "--info";
    case Options::Mode::ExtractImage: return "--extract-image";
    case Options::Mode::History: return "--history";
    case Options::Mode::Verify: return "--verify";
    case Options::Mode::Window: break;
    }
    return "the window";
}

// The checks of which options go together, once the words are read.
std::optional<std::string> Conflict(const Options& options) {
    using M = Options::Mode;
    const M mode = options.Command;
    if (mode == M::Help || mode == M::Version)
        return std::nullopt;
    const bool usesDrive = mode == M::Window || mode == M::List || mode == M::Cli;
    if (options.Yes && mode != M::Cli) return "--yes goes with --cli";
    if (options.All && mode != M::Cli) return "--all goes with --cli";
    if (options.Json && mode != M::List && mode != M::Cli && mode != M::Info && mode != M::History)
        return "--json goes with --list, --cli, --info or --history";
    if (options.JsonCompact && mode != M::Cli) return "--json=compact goes with --cli";
    if (options.DeviceId && mode != M::History) return "--device-id goes with --history";
    if (options.Verbose && options.Quiet) return "--verbose and --quiet do not go together";
    if (options.Verbose && !usesDrive) return "--verbose goes with --cli, --list or the window";
    if (options.Quiet && mode != M::Cli && mode != M::Build && mode != M::ExtractImage)
        return "--quiet goes with --cli, --build or --extract-image";
    if (options.TraceFile && mode != M::Cli && mode != M::Window) return "--trace goes with --cli or the window";
    if (options.TraceData && !options.TraceFile) return "--trace-data goes with --trace FILE";
    if (options.NoCommit && mode != M::Cli && mode != M::Window) return "--no-commit goes with --cli or the window";
    if (options.Profiles && mode != M::Build) return "--profiles goes with --build";
    if (options.SignKey && mode != M::Build) return "--sign-key goes with --build";
    if (options.IniFile && mode != M::Build && mode != M::Window) return "--ini goes with --build or the window";
    if ((options.Model || options.Image || options.OutputDir) && mode != M::Build)
        return "--model, --image and --output-dir go with --build";
    if (!usesDrive && (!options.Devices.empty() || !options.VirtualDrives.empty()))
        return std::string(ModeOptionName(mode)) + " uses no drive";
    if (mode == M::Build) {
        if (!options.Model) return "--build needs --model N";
        if (!options.Image) return "--build needs --image FILE";
    }
    if (!options.WindowArguments.empty() && mode != M::Window) return "window options go with the window only";
    if ((options.ChooseUtility || options.ChooseModelFile) && mode != M::Window)
        return "--choose-utility and --choose-model-file go with the window";
    if (options.ChooseUtility && options.ChooseModelFile) return "--choose-utility and --choose-model-file do not go together";
    return std::nullopt;
}

// The commands named so far: the same one twice ("--cli --cli") is one.
struct CommandChoice {
    Options& Chosen;
    int Named = 0;

    void Set(Options::Mode mode) {
        if (Named == 0 || Chosen.Command != mode)
            ++Named;
        Chosen.Command = mode;
    }
};

// Qt's own window options (single dash, long names) would read to getopt as bundles of
// short options; they are taken out first and passed through to the window. The words left
// for getopt, the program's name first, with a null after the last.
std::vector<char*> WithoutWindowOptions(int argc, char** argv, Options& options) {
    std::vector<char*> words{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            words.insert(words.end(), argv + i, argv + argc);
            break;
        }
        if (IsQtWindowOption(argv[i])) {
            options.WindowArguments.push_back(argv[i]);
            if (i + 1 < argc)
                options.WindowArguments.push_back(argv[++i]);
            continue;
        }
        words.push_back(argv[i]);
    }
    words.push_back(nullptr);
    return words;
}

// What getopt refused (code ':' or '?'), in words; lastWord is the word it read last.
std::string Refusal(int code, const char* lastWord) {
    if (code == ':') {
        const std::string name = optopt > 0 && optopt < 256 ? std::string("-") + char(optopt)
                                                             : LongName(lastWord);
        return "option " + name + " needs a value";
    }
    // A known option's code in optopt means a long option given a value it does not take.
    const bool known = optopt >= 256 || (optopt > 0 && std::strchr(ShortOptions + 1, optopt));
    if (known)
        return "option " + LongName(lastWord) + " takes no value";
    if (optopt > 0)
        return std::string("unknown option '-") + char(optopt) + "' (see --help)";
    return UnknownLongOption(LongName(lastWord));
}

// Takes one option getopt read: its code and its value (null when none). False with error set
// when the option or its value is refused.
bool TakeOption(int code, const char* given, CommandChoice& command, const char* lastWord, std::string& error) {
    Options& options = command.Chosen;
    const std::string value = given ? given : "";
    switch (code) {
    case OptList: command.Set(Options::Mode::List); break;
    case OptCli: command.Set(Options::Mode::Cli); break;
    case OptBuild: command.Set(Options::Mode::Build); break;
    case OptInfo: command.Set(Options::Mode::Info); break;
    case OptHistory: command.Set(Options::Mode::History); break;
    case OptDeviceId:
        // A drive's id is 64 lower-case hex digits, as every output gives it.
        if (value.size() != 64 || value.find_first_not_of("0123456789abcdef") != std::string::npos) {
            error = "--device-id takes a drive's id: 64 lower-case hex digits, as --list --json gives it, not '" +
                    value + "'";
            return false;
        }
        options.DeviceId = value;
        break;
    case OptVerify: command.Set(Options::Mode::Verify); break;
    case OptChooseUtility: options.ChooseUtility = true; break;
    case OptChooseModelFile: options.ChooseModelFile = true; break;
    case OptExtractImage:
        // Two places to write one image to: which one was meant is not for us to guess.
        if (options.ExtractOutput && *options.ExtractOutput != value) {
            error = "option --extract-image is given twice with different files";
            return false;
        }
        command.Set(Options::Mode::ExtractImage);
        options.ExtractOutput = value;
        break;
    case 'h': command.Set(Options::Mode::Help); break;
    case 'V': command.Set(Options::Mode::Version); break;
    case 'd': options.Devices.push_back(value); break;
    case OptVirtualDrive: options.VirtualDrives.push_back(value); break;
    case OptAll: options.All = true; break;
    case 'y': options.Yes = true; break;
    case OptJson:
        // Only the equals form: "--json compact" keeps compact a word of its own.
        if (given && std::strcmp(given, "compact") != 0) {
            error = "--json takes no value but compact, not '" + value + "'";
            return false;
        }
        options.Json = true;
        options.JsonCompact = options.JsonCompact || given != nullptr;
        break;
    case 'v': options.Verbose = true; break;
    case 'q': options.Quiet = true; break;
    case OptTrace: options.TraceFile = value; break;
    case OptTraceData: options.TraceData = true; break;
    case OptNoCommit: options.NoCommit = true; break;
    case OptImage: options.Image = value; break;
    case OptOutputDir: options.OutputDir = value; break;
    case OptProfiles: options.Profiles = value; break;
    case OptIni: options.IniFile = value; break;
    case OptSignKey: options.SignKey = value; break;
    case OptModel: {
        int n = 0;
        if (!ParseWholeNumber(value, n) || n > 99) {
            error = "--model takes a model number from 0 to 99, not '" + value + "'";
            return false;
        }
        options.Model = n;
        break;
    }
    default:  // ':' or '?'
        error = Refusal(code, lastWord);
        return false;
    }
    return true;
}

// What is left are operands: the copy --info, --extract-image or --verify looks at, the
// folder of utilities --list fits to the drives, or what a run (--cli or the window) flashes. False with error set when one is not wanted.
bool TakeOperands(char* const* words, int from, int count, Options& options, std::string& error) {
    using M = Options::Mode;
    const bool takesFile = options.Command == M::Info || options.Command == M::ExtractImage || options.Command == M::List ||
                           options.Command == M::Verify || options.Command == M::Cli || options.Command == M::Window;
    for (int i = from; i < count; ++i) {
        if (!takesFile || options.Subject) {
            error = std::string("unexpected argument '") + words[i] + "'";
            return false;
        }
        // An empty word names no file; taken for none, it would describe this program instead.
        if (words[i][0] == '\0') {
            error = std::string(ModeOptionName(options.Command)) + " was given an empty file name";
            return false;
        }
        options.Subject = words[i];
    }
    return true;
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options options;
    CommandChoice command{options};
    std::vector<char*> words = WithoutWindowOptions(argc, argv, options);
    const int count = static_cast<int>(words.size()) - 1;

    opterr = 0;  // errors are ours to word
    optind = 0;  // glibc: start afresh, so the parser can be used more than once
    for (;;) {
        int index = -1;
        const int code = getopt_long(count, words.data(), ShortOptions, LongOptions, &index);
        if (code == -1)
            break;
        if (!TakeOption(code, optarg, command, words[optind - 1], error))
            return std::nullopt;
        // A value given as an empty word ("--trace ''") names nothing.
        if (optarg && *optarg == '\0' && code != OptVirtualDrive) {
            error = "option " + (index >= 0 ? std::string("--") + LongOptions[index].name
                                             : std::string("-") + char(code)) + " needs a value";
            return std::nullopt;
        }
    }

    if (command.Named > 1) {
        error = "choose one of --list, --cli, --build, --info, --extract-image, --history, --verify, --help, --version";
        return std::nullopt;
    }
    if (!TakeOperands(words.data(), optind, count, options, error))
        return std::nullopt;
    if (const std::optional<std::string> conflict = Conflict(options)) {
        error = *conflict;
        return std::nullopt;
    }
    return options;
}
