#include "tools/cli_options.h"

#include <cstring>

namespace {

const char kUsage[] =
    "usage: tavrel [options] PROJECT.tvr OUTPUT.swf\n"
    "       tavrel [options] --resave NEW.tvr PROJECT.tvr [OUTPUT.swf]\n"
    "  --compress | --no-compress  override the project's use_compression\n"
    "  --search DIR     look here for missing images and sounds (repeatable)\n"
    "  --resources DIR  holds Controls/, Mute Controls/, main.rsrc (default: the bundle's)\n"
    "  --strict         any warning fails the run; no movie is written\n"
    "  --quiet          no progress, no warnings\n"
    "  --resave FILE    write the project back to FILE after reading it\n"
    "  -h, --help, --version\n"
    "exit: 0 done, 1 usage, 2 project unreadable, 3 export failed,\n"
    "      4 a warning under --strict, 130 cancelled\n";

}  // namespace

const char* UsageText()
{
    return kUsage;
}

CliCommand ParseCommandLine(int argc, const char* const* argv, CliOptions* options, std::string* error)
{
    *options = CliOptions();
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
            continue;
        }
        // --name=value is taken as --name value.
        std::string name = arg, inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                inlineValue = arg.substr(eq + 1);
                hasInline = true;
            }
        }
        auto value = [&](std::string* out) {
            if (hasInline) {
                *out = inlineValue;
            } else if (i + 1 < argc) {
                *out = argv[++i];
            } else {
                *error = name + " needs a value";
                return false;
            }
            if (out->empty()) {
                *error = name + " needs a value";
                return false;
            }
            return true;
        };
        auto flag = [&]() {
            if (!hasInline) return true;
            *error = name + " takes no value";
            return false;
        };
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "-h" || name == "--help") {
            return CliCommand::kHelp;
        } else if (name == "--version") {
            return CliCommand::kVersion;
        } else if (name == "--compress" || name == "--no-compress") {
            if (!flag()) return CliCommand::kUsageError;
            options->compress = name == "--compress";
        } else if (name == "--strict") {
            if (!flag()) return CliCommand::kUsageError;
            options->strict = true;
        } else if (name == "--quiet") {
            if (!flag()) return CliCommand::kUsageError;
            options->quiet = true;
        } else if (name == "--search") {
            std::string dir;
            if (!value(&dir)) return CliCommand::kUsageError;
            options->searchFolders.push_back(dir);
        } else if (name == "--resources") {
            if (!value(&options->resources)) return CliCommand::kUsageError;
        } else if (name == "--resave") {
            if (!value(&options->resave)) return CliCommand::kUsageError;
        } else {
            *error = "unknown option " + arg;
            return CliCommand::kUsageError;
        }
    }
    const size_t least = options->resave.empty() ? 2 : 1;
    if (operands.size() < least || operands.size() > 2) {
        *error = operands.size() < least ? "missing operand" : "too many operands";
        return CliCommand::kUsageError;
    }
    options->project = operands[0];
    if (operands.size() == 2) options->output = operands[1];
    return CliCommand::kRun;
}
