// pipeway's policy commands: an exclusion file read with the system's own scanner and parser,
// outside the provider.
#pragma once

#include "cli/common.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pipeway {

// What "policy check FILE", "policy install FILE", "policy explain [--file FILE] (--user NAME |
// --mask N) ARG..." and "policy test FILE [--users LIST] [--commands FILE] [--expect TABLE]" were
// given.
struct PolicyOptions {
    enum class Action { kNone, kCheck, kExplain, kTest, kInstall } action = Action::kNone;
    std::string file;
    std::optional<std::string> mask;
    std::optional<std::string> user;
    std::optional<std::string> users;     // policy test: NAME or NAME=MASK, comma-separated
    std::optional<std::string> commands;  // policy test: a file of command lines
    std::optional<std::string> expect;    // policy test: a table of expected decisions
    std::vector<std::string> words;
    int waitSeconds = 10;  // policy install: how long another install may hold the stack
};

// Adds the "policy" command and its subcommands to pipeway's command line, which fills
// `options` when it is parsed.
void AddPolicyCommand(CLI::App& pipeway, PolicyOptions& options);

// Runs the policy subcommand that was given; `stack` locates the installed exclusion file when
// explain names no file. Throws UsageError.
int RunPolicy(const PolicyOptions& options, const std::filesystem::path& stack);

}  // namespace pipeway
