// What a DA module is: one of the names a client may give, and a library that exports the two
// functions named after it. The loader and `pipeway module check` both ask here, so that the
// tool's verdict is the provider's.
#pragma once

#include "core/da_contract.h"

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

// The DA modules a client may name, in search order.
extern const std::array<std::string_view, 6> g_validDANames;

namespace pw::core {

// Whether `name` is one of g_validDANames, as written (no completion).
bool IsModuleName(std::string_view name);

// One export a module must have: its name and, when GetProcAddress did not find it, the
// error it gave with the loader's words for it.
struct ModuleExport {
    std::string name;
    bool found = false;
    DWORD error = 0;
    std::string why;  // "sendCmd not found (error 127: ...)": empty when found
};

// What a loaded library offers as the module `name`: both functions, or the ones missing.
struct ModuleInspection {
    DASendCmdFn sendCmd = nullptr;
    DAFreeDataFn freeData = nullptr;
    std::array<ModuleExport, 2> exports;  // sendCmd's, then freeData's
    bool Usable() const { return sendCmd != nullptr && freeData != nullptr; }
};

// The names of the exports a module called `name` must have: sendCmd's, then freeData's.
std::array<std::string, 2> ModuleExportNames(const std::string& name);

ModuleInspection InspectModule(HMODULE library, const std::string& name);

}  // namespace pw::core
