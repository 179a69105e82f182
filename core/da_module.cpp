#include "core/da_module.h"

#include "pw/stack_layout.h"

#include "pw/resources.h"

#include <algorithm>

const std::array<std::string_view, 6> g_validDANames = {"lumda64", "rukda64", "kordo64",
                                                        "tarda64", "mivda64", "pexda64"};

namespace pw::core {

bool IsModuleName(std::string_view name) {
    return std::find(g_validDANames.begin(), g_validDANames.end(), name) != g_validDANames.end();
}

std::array<std::string, 2> ModuleExportNames(const std::string& name) {
    return {name + PW_DA_SENDCMD_SUFFIX, name + PW_DA_FREEDATA_SUFFIX};
}

ModuleInspection InspectModule(HMODULE library, const std::string& name) {
    ModuleInspection inspection;
    const std::array<std::string, 2> names = ModuleExportNames(name);
    std::array<FARPROC, 2> found{};
    const char* const missing[] = {"sendCmd not found", "freeData not found"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        found[i] = GetProcAddress(library, names[i].c_str());
        ModuleExport& entry = inspection.exports[i];
        entry = {names[i], found[i] != nullptr, found[i] != nullptr ? 0 : GetLastError(), {}};
        if (!entry.found) {
            entry.why = pw::stack::WithLoaderMessage(missing[i], entry.error,
                                                     pw::stack::LoaderMessage(entry.error));
        }
    }
    inspection.sendCmd = pw::ProcAs<DASendCmdFn>(found[0]);
    inspection.freeData = pw::ProcAs<DAFreeDataFn>(found[1]);
    return inspection;
}

}  // namespace pw::core
