// pipeway's module command: whether the provider could use a DA module, and if not, why.
#pragma once

#include "cli/common.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>

namespace pipeway {

// What "module check NAME|FILE" was given.
struct ModuleOptions {
    bool check = false;
    std::string target;  // a module name, or a library file (a path, or a name with extension)
};

// Adds the "module" command and its subcommand to pipeway's command line.
void AddModuleCommand(CLI::App& pipeway, ModuleOptions& options);

// Loads the module the way the provider does, from `stack` (the library folder the provider
// appends to the search path), and reports the file, the loader's error, the two exports and
// the name. Exit status 0 only when the provider could use the module.
int RunModule(const ModuleOptions& options, const std::filesystem::path& stack);

// What differs between the platforms (module_loader_posix.cpp, module_loader_win.cpp).

// Keeps the loader from showing a dialog for a library that cannot be loaded.
void QuietLoaderErrors();

}  // namespace pipeway
