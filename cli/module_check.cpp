#include "module_check.h"

#include "module_exports.h"
#include "pipeway_provider_impl.h"
#include "pw/resources.h"
#include "pw/stack_layout.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

namespace pipeway {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// How an export that is there differs from the one the provider looks for, or nothing when it
// is no near miss.
std::optional<std::string> NearMiss(const std::string& exported, const std::string& wanted,
                                    const std::string& suffix) {
    if (exported == wanted || Lower(exported).find(Lower(suffix)) == std::string::npos) {
        return std::nullopt;
    }
    if (exported.rfind("_Z", 0) == 0 || exported.rfind("?", 0) == 0) {
        return exported + " (a C++ name: declare the function extern \"C\", or with PW_DA_EXPORT)";
    }
    if (Lower(exported) == Lower(wanted)) {
        return exported + " (the same name in another case: export names are case-sensitive)";
    }
    return exported + " (another name)";
}

bool IsValidName(const std::string& name) {
    return std::find(g_validDANames.begin(), g_validDANames.end(), name) != g_validDANames.end();
}

std::string ValidNames() {
    std::string names;
    for (const std::string_view name : g_validDANames) {
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

}  // namespace

void AddModuleCommand(CLI::App& pipeway, ModuleOptions& options) {
    CLI::App* module = pipeway.add_subcommand("module", "check a DA module");
    CLI::App* check = module->add_subcommand(
        "check",
        "load a DA module as the provider does and say whether it could use it, and "
        "if not, why; exits with 1 when it could not");
    check
        ->add_option("NAME|FILE", options.target,
                     "a module name (found as the provider finds it), or its library file")
        ->required();
    check->callback([&options] { options.check = true; });
}

int RunModule(const ModuleOptions& options, const fs::path& stack) {
    const fs::path given(options.target);
    const bool isFile = options.target.find_first_of("/\\") != std::string::npos ||
                        given.extension() == LibraryExtension();
    const std::string name = isFile ? given.stem().string() : options.target;
    const std::string fileName = LibraryFileName(name);
    bool usable = true;

    std::printf("module: %s\n", name.c_str());
    if (IsValidName(name)) {
        std::printf("name: valid\n");
    } else {
        usable = false;
        std::printf("name: not valid: a daname must name one of %s\n", ValidNames().c_str());
        if (name.rfind("lib", 0) == 0 && IsValidName(name.substr(3))) {
            std::printf("  the file has a \"lib\" prefix: the provider loads %s\n",
                        LibraryFileName(name.substr(3)).c_str());
        }
    }

    // The provider loads a stack library by full path from the stack's folder, and from
    // nowhere else.
    const fs::path folder = fs::absolute(stack).lexically_normal();
    fs::path file = given;
    if (!isFile) {
        const std::optional<std::string> path = pw::stack::LibraryPathIn(folder.string(), name);
        std::error_code error;
        if (!path || !fs::is_regular_file(*path, error)) {
            std::printf("file: not found: %s was looked for in\n  %s\n", fileName.c_str(),
                        folder.string().c_str());
            if (fs::is_regular_file(folder / ("lib" + fileName), error)) {
                std::printf("found instead: %s (the provider loads %s, without \"lib\")\n",
                            (folder / ("lib" + fileName)).string().c_str(), fileName.c_str());
            }
            std::printf("verdict: the provider cannot use %s\n", name.c_str());
            return kExitResult;
        }
        file = *path;
    }
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        std::printf("file: %s does not exist\n", file.string().c_str());
        std::printf("verdict: the provider cannot use %s\n", name.c_str());
        return kExitResult;
    }
    std::printf("file: %s\n", file.string().c_str());
    QuietLoaderErrors();
    const pw::UniqueLibrary library(
        pw::stack::LoadLibraryFile(fs::absolute(file).lexically_normal().string()));
    if (library) {
        std::printf("load: ok\n");
    } else {
        usable = false;
        std::printf("load: failed: %s\n", LoaderError(file).c_str());
    }
    const std::optional<std::vector<std::string>> exported = ExportedNames(file);
    for (const char* suffix : {"_sendCmd", "_freeData"}) {
        const std::string wanted = name + suffix;
        const bool found = library ? GetProcAddress(library.get(), wanted.c_str()) != nullptr
                                   : exported && std::find(exported->begin(), exported->end(),
                                                           wanted) != exported->end();
        std::printf("export %s: %s\n", wanted.c_str(), found ? "found" : "missing");
        if (!found) {
            usable = false;
            for (const std::string& other : exported.value_or(std::vector<std::string>())) {
                if (const std::optional<std::string> miss = NearMiss(other, wanted, suffix)) {
                    std::printf("  found instead: %s\n", miss->c_str());
                }
            }
        }
    }
    std::printf("verdict: the provider %s %s\n", usable ? "can use" : "cannot use", name.c_str());
    return usable ? kExitOk : kExitResult;
}

}  // namespace pipeway
