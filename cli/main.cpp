// pipeway: runs commands, enumerations and lookups through the real provider library, the way
// the WMI service calls it, against a stack folder (by default the bundled sample stack).
//
// The commands and their options are declared in Parse (pipeway --help).
//
// A stack folder holds the DA module libraries and the common-services library (it is the
// folder that "CorvaneLibPath" names) and the install root "root" inside it. On POSIX the
// registry is the file "registry.txt" of the stack, which pipeway points at the stack.
//
// On Windows pipeway creates the provider as the WMI service does, through the class's
// registration (ProgID, CLSID, CoCreateInstance), when the class is registered; otherwise it
// loads WinPipeway.dll from its own folder.
#include "cli/call.h"
#include "cli/common.h"
#include "cli/module_check.h"
#include "cli/output.h"
#include "cli/policy.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <memory>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

using pipeway::kExitCallFailed;
using pipeway::kExitOk;
using pipeway::kExitUsage;
using pipeway::UsageError;

// Every command's options: the provider-calling ones (and pipeway's own), policy's, module's.
struct Options {
    pipeway::CallOptions call;
    pipeway::PolicyOptions policy;
    pipeway::ModuleOptions module;
};

constexpr char kExitStatuses[] =
    "Exit status: 0 the call succeeded with ResultCode 0; 1 another ResultCode (policy:\n"
    "refused, or a broken file); 2 the WMI call failed; 64 a usage error.";

// The end of the top level's and exec's help: what each ResultCode means, and the exit statuses.
std::string ResultFooter() {
    return "ResultCode (exec):\n" + pipeway::ResultTable() + "\n" + kExitStatuses;
}

// One option as a synopsis shows it: "--json", "[--level identify|impersonate|delegate]",
// "ARG...".
std::string OptionSynopsis(const CLI::Option& option) {
    std::string text;
    if (option.get_positional()) {
        text = option.get_name(true);
        if (option.get_expected_max() > 1) {
            text += "...";
        }
    } else {
        const std::string name = "--" + option.get_lnames().front();
        text = name;
        if (option.get_items_expected() != 0) {
            std::string value = option.get_option_text();
            if (value.empty()) {
                for (const char c : name.substr(2)) {
                    value += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                }
            }
            text += " " + value;
        }
    }
    return option.get_required() ? text : "[" + text + "]";
}

// The top level's list of commands: each command that runs, with every option it takes and
// what it does, so that one screen shows all of pipeway.
class CommandListFormatter : public CLI::Formatter {
  public:
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
        if (app->get_parent() != nullptr) {
            return CLI::Formatter::make_subcommands(app, mode);
        }
        std::string list = "\nCommands (pipeway COMMAND --help for more):\n";
        for (const CLI::App* command : app->get_subcommands({})) {
            List(command, command->get_name(), list);
        }
        return list;
    }

  private:
    static void List(const CLI::App* command, const std::string& path, std::string& list) {
        const std::vector<const CLI::App*> subcommands = command->get_subcommands({});
        for (const CLI::App* subcommand : subcommands) {
            List(subcommand, path + " " + subcommand->get_name(), list);
        }
        if (!subcommands.empty()) {
            return;
        }
        list += "  " + path;
        for (const CLI::Option* option : command->get_options()) {
            if (option != command->get_help_ptr()) {
                list += " " + OptionSynopsis(*option);
            }
        }
        list += "\n      " + command->get_description() + "\n";
    }
};

// Every command's help ends with the exit statuses; exec's also with the ResultCodes.
void SetFooters(CLI::App& command) {
    for (CLI::App* subcommand : command.get_subcommands({})) {
        subcommand->footer(subcommand->get_name() == "exec" ? ResultFooter() : kExitStatuses);
        SetFooters(*subcommand);
    }
}

// The words of exec's --user and --level, read into the options once the line is parsed.
struct CallWords {
    std::string user;
    std::string level = "impersonate";
};

// exec, enum and get, and the library's own register and unregister.
void AddCallCommands(CLI::App& app, pipeway::CallOptions& call, CallWords& words) {
    CLI::App* exec = app.add_subcommand(
        "exec",
        "run a DA command: one ARG is the command-line string, several (or --array) are "
        "one token each");
    exec->add_option("--user", words.user,
                     "the client account, DOMAIN\\user (Linux only; without it the account "
                     "running pipeway)");
    exec->add_option("--level", words.level, "the client's impersonation level")
        ->check(CLI::IsMember({"identify", "impersonate", "delegate"}))
        ->option_text("identify|impersonate|delegate");
    exec->add_flag("--array", call.array, "pass the tokens as an array");
    exec->add_flag("--json", call.json,
                   "print the answer as one JSON object (resultCode a number)");
    exec->add_option("ARG", call.args, "the command line")->required();

    CLI::App* enumerate =
        app.add_subcommand("enum", "enumerate the class: the one instance with its addresses");
    enumerate->add_flag("--json", call.json, "print the instance as one JSON object");
    CLI::App* get = app.add_subcommand("get", "look the instance up by its object path");
    get->add_option("OBJECTPATH", call.args, "the object path")->required()->expected(1);
    get->add_flag("--json", call.json, "print the instance as one JSON object");
    app.add_subcommand("register", "call the library's registration entry point");
    app.add_subcommand("unregister", "call the library's unregistration entry point");
}

// Names what the parse left over or missed: an unknown option or command, a policy or module
// command without its subcommand, a word no command takes. Throws UsageError.
void CheckCommand(const CLI::App& app, Options& options) {
    const std::vector<std::string> unknown = app.remaining();
    if (!unknown.empty() && unknown.front().rfind('-', 0) == 0) {
        throw UsageError{"unknown option '" + unknown.front() + "'"};
    }
    if (app.get_subcommands().empty()) {
        throw UsageError{unknown.empty() ? "no command given"
                                         : "unknown command '" + unknown.front() + "'"};
    }
    options.call.command = app.get_subcommands().front()->get_name();
    if (options.call.command == "policy" &&
        options.policy.action == pipeway::PolicyOptions::Action::kNone) {
        throw UsageError{unknown.empty() ? "policy needs check, install, explain or test"
                                         : "unknown policy command '" + unknown.front() +
                                               "' (check, install, explain or test)"};
    }
    if (options.call.command == "module" && !options.module.check) {
        throw UsageError{unknown.empty() ? "module needs check"
                                         : "unknown module command '" + unknown.front() + "'"};
    }
    if (!unknown.empty()) {
        throw UsageError{"unexpected argument '" + unknown.front() + "' for " +
                         options.call.command};
    }
}

// Reads the command line into `options`. Throws CLI11's errors: CallForHelp after --help (the
// help text is then in `help`), ParseError for a mistake; and UsageError.
void Parse(int argc, char** argv, Options& options, std::string& help) {
    CLI::App app(
        "Runs commands, enumerations and lookups through the provider library, the way "
        "the WMI service calls it, against a stack folder.",
        "pipeway");
    app.footer(ResultFooter());
    app.formatter(std::make_shared<CommandListFormatter>());
    // Options of pipeway itself may also follow the command; nothing is read as a "/x" option.
    app.fallthrough();
    app.allow_windows_style_options(false);
    options.call.stack = pipeway::DefaultStack();
    app.add_option("--stack", options.call.stack,
                   "the stack to run against (default: on Windows the folder that "
                   "CorvaneLibPath names, if set; otherwise the bundled sample stack)")
        ->option_text("DIR")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--trace", options.call.trace,
                 "switch the trace log on for this run and print the entries it added");
    app.add_flag("--verbose", options.call.verbose,
                 "say how the provider was created (registered class or library beside "
                 "pipeway) and which library served the call, on standard error");
    CallWords words;
    AddCallCommands(app, options.call, words);
    pipeway::AddPolicyCommand(app, options.policy);
    pipeway::AddModuleCommand(app, options.module);
    SetFooters(app);
    // Words no command takes come back to pipeway (fallthrough), which names them below.
    app.allow_extras();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        help = app.help();
        throw;
    }
    CheckCommand(app, options);
    const std::map<std::string, DWORD> levels = {{"identify", RPC_C_IMP_LEVEL_IDENTIFY},
                                                 {"impersonate", RPC_C_IMP_LEVEL_IMPERSONATE},
                                                 {"delegate", RPC_C_IMP_LEVEL_DELEGATE}};
    options.call.level = levels.at(words.level);
    options.call.user = pipeway::Widen(words.user);
    if (!pipeway::kUserOptionAvailable && !options.call.user.empty()) {
        throw UsageError{"--user is not available on Windows: the client is the current account"};
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string help;
    try {
        Parse(argc, argv, options, help);
        if (options.call.command == "policy") {
            return pipeway::RunPolicy(options.policy, options.call.stack);
        }
        if (options.call.command == "module") {
            return pipeway::RunModule(options.module, options.call.stack);
        }
        return pipeway::RunCall(options.call);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", help.c_str());
        return kExitOk;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "pipeway: %s (pipeway --help)\n", error.what());
        return kExitUsage;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pipeway: %s (pipeway --help)\n", error.message.c_str());
        return kExitUsage;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pipeway: %s\n", error.what());
        return kExitCallFailed;
    }
}
