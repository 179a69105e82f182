// What every pipeway command shares: exit statuses, usage errors, the meaning of each
// ResultCode, and the stack it runs against.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pipeway {

// Exit statuses shared by every pipeway command.
constexpr int kExitOk = 0;
constexpr int kExitResult = 1;
constexpr int kExitCallFailed = 2;
constexpr int kExitUsage = 64;

// A mistake in the command line: reported in one line with exit status 64.
struct UsageError {
    std::string message;
};

// The folder pipeway runs from, the provider library beside it, and the stack it runs against
// when none is named: the configured one, else the bundled sample stack.
std::filesystem::path ProgramFolder();
std::filesystem::path ProviderLibrary();
std::filesystem::path DefaultStack();

// The command that runs this pipeway (by its full path) on `stack` with `words`, each quoted
// as this platform's shell needs it, so that it works when pasted.
std::string PipewayCommand(const std::filesystem::path& stack,
                           const std::vector<std::string>& words);

// What a ResultCode means, in a few plain words; empty for a code the provider never gives.
const char* ResultText(std::int32_t code);
// The table of every ResultCode and its meaning, one per line, for --help.
std::string ResultTable();

// The tokens of a command line as the provider makes them: two or more words (an array) one
// token each; one word, a string or an array of one element, cut as the provider cuts a
// command-line string. Nothing when it cannot be cut (ResultCode 7).
std::optional<std::vector<std::string>> CommandTokens(const std::vector<std::string>& words);
// The place of the first token whose name, cleaned as validation cleans names, is `name`.
std::optional<std::size_t> TokenIndex(const std::vector<std::string>& tokens,
                                      const std::string& name);
// The value of that token.
std::optional<std::string> TokenValue(const std::vector<std::string>& tokens,
                                      const std::string& name);

// The file name of a stack library or DA module on this platform: "lumda64.so", "lumda64.dll".
std::string LibraryFileName(const std::string& module);
// The extension of such a file: ".so", ".dll".
const char* LibraryExtension();

// A stack folder: the DA modules, the common-services library "kordo64" and the rights module
// "rukda64", and the install root that kordo64 reports.
struct Stack {
    std::filesystem::path folder;
    std::filesystem::path installRoot;
};

// Checks that `folder` holds what a stack needs, creating nothing in it, and makes it the
// library folder the provider loads the stack's libraries from (on Windows the registry must
// already name it). Throws UsageError naming every missing part.
Stack CheckStack(const std::filesystem::path& folder);

// What differs between the platforms (common_posix.cpp, common_win.cpp).

// The provider library's file name: "WinPipeway.so", "WinPipeway.dll"; pipeway's own.
extern const char kProviderLibraryName[];
extern const char kProgramName[];
// One word as the platform's shell reads it back unchanged: as it stands when it holds nothing
// the shell would take apart, quoted otherwise.
std::string ShellQuote(const std::string& word);
// The stack the machine is set up for, when it names one: on Windows the folder the registry's
// library value names.
std::optional<std::filesystem::path> ConfiguredStack();
// Makes `folder` the library folder the provider loads the stack's libraries from. Throws
// UsageError when it cannot.
void UseStack(const std::filesystem::path& folder);
// Whether exec may name its client with --user: only where the host plays the client.
extern const bool kUserOptionAvailable;

}  // namespace pipeway
