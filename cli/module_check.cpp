#include "cli/module_check.h"

#include "cli/module_exports.h"
#include "core/da_module.h"
#include "core/pipeway_provider_impl.h"
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

namespace {

// What the name check settled: the module the provider would load, and the name its exports
// must carry.
struct NameCheck {
    bool valid = false;
    std::string module;
};

// The module a daname value names, as exec's validation settles it: "pexda" is "pexda64".
std::optional<std::string> ModuleNamed(const std::string& value) {
    const PipewayProviderImpl request(PipewayProviderImpl::ValidationOnly{},
                                      std::vector<std::string>{"daname=" + value, "velcmd=x"});
    if (request.Status() != PipewayMgtData::kSuccess) {
        return std::nullopt;
    }
    return request.DAName();
}

// Whether `name` names a module the provider loads, printed. A name given on its own may be one
// validation completes; a file's name must be the module's own, and a "lib" prefix is named as
// the one problem of a file that is otherwise right.
NameCheck CheckName(const std::string& name, bool isFile) {
    if (const std::optional<std::string> module = isFile ? std::nullopt : ModuleNamed(name)) {
        std::printf(*module == name ? "name: valid\n" : "name: valid (as %s)\n", module->c_str());
        return {true, *module};
    }
    if (pw::core::IsModuleName(name)) {
        std::printf("name: valid\n");
        return {true, name};
    }
    if (isFile && name.rfind("lib", 0) == 0 && pw::core::IsModuleName(name.substr(3))) {
        std::printf("name: the file has a \"lib\" prefix: the provider loads %s\n",
                    LibraryFileName(name.substr(3)).c_str());
        return {false, name.substr(3)};
    }
    std::printf("name: not valid: a daname must name one of %s\n", ValidNames().c_str());
    return {false, name};
}

// The module's file as the provider finds it: by full path from the stack's folder, and from
// nowhere else. Nothing (with the reason printed) when it is not there.
std::optional<fs::path> FindInStack(const std::string& name, const fs::path& stack) {
    const fs::path folder = fs::absolute(stack).lexically_normal();
    const std::string fileName = LibraryFileName(name);
    const std::optional<std::string> path = pw::stack::LibraryPathIn(folder.string(), name);
    std::error_code error;
    if (path && fs::is_regular_file(*path, error)) {
        return fs::path(*path);
    }
    std::printf("file: not found: %s was looked for in\n  %s\n", fileName.c_str(),
                folder.string().c_str());
    if (fs::is_regular_file(folder / ("lib" + fileName), error)) {
        std::printf("found instead: %s (the provider loads %s, without \"lib\")\n",
                    (folder / ("lib" + fileName)).string().c_str(), fileName.c_str());
    }
    return std::nullopt;
}

// Whether the two exports the provider looks for are there, printed, with near misses. A library
// that loaded is asked as the loader asks it; one that did not, from its file's export table.
bool CheckExports(const std::string& name, const fs::path& file, HMODULE library) {
    const std::optional<std::vector<std::string>> exported = ExportedNames(file);
    const std::array<std::string, 2> wanted = pw::core::ModuleExportNames(name);
    const pw::core::ModuleInspection inspection =
        library != nullptr ? pw::core::InspectModule(library, name) : pw::core::ModuleInspection{};
    bool found = true;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const bool there = library != nullptr
                               ? inspection.exports[i].found
                               : exported && std::find(exported->begin(), exported->end(),
                                                       wanted[i]) != exported->end();
        std::printf("export %s: %s\n", wanted[i].c_str(), there ? "found" : "missing");
        if (there) {
            continue;
        }
        found = false;
        const std::string suffix = wanted[i].substr(name.size());
        for (const std::string& other : exported.value_or(std::vector<std::string>())) {
            if (const std::optional<std::string> miss = NearMiss(other, wanted[i], suffix)) {
                std::printf("  found instead: %s\n", miss->c_str());
            }
        }
    }
    return found;
}

int Verdict(bool usable, const std::string& name) {
    std::printf("verdict: the provider %s %s\n", usable ? "can use" : "cannot use", name.c_str());
    return usable ? kExitOk : kExitResult;
}

}  // namespace

int RunModule(const ModuleOptions& options, const fs::path& stack) {
    const fs::path given(options.target);
    const bool isFile = options.target.find_first_of("/\\") != std::string::npos ||
                        given.extension() == LibraryExtension();
    const std::string name = isFile ? given.stem().string() : options.target;
    std::printf("module: %s\n", name.c_str());
    const NameCheck check = CheckName(name, isFile);
    bool usable = check.valid;
    const std::optional<fs::path> file = isFile ? given : FindInStack(check.module, stack);
    std::error_code error;
    if (file && !fs::is_regular_file(*file, error)) {
        std::printf("file: %s does not exist\n", file->string().c_str());
    }
    if (!file || !fs::is_regular_file(*file, error)) {
        return Verdict(false, check.module);
    }
    std::printf("file: %s\n", file->string().c_str());
    QuietLoaderErrors();
    std::string why;
    const pw::UniqueLibrary library(
        pw::stack::LoadLibraryFile(fs::absolute(*file).lexically_normal().string(), &why));
    if (library) {
        std::printf("load: ok\n");
    } else {
        usable = false;
        const DWORD code = GetLastError();
        std::printf("load: failed: %s(error %lu)\n", why.empty() ? "" : (why + " ").c_str(),
                    static_cast<unsigned long>(code));
    }
    usable = CheckExports(check.module, *file, library.get()) && usable;
    return Verdict(usable, check.module);
}

}  // namespace pipeway
