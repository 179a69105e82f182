#include "core/da_cache.h"
#include "core/da_module.h"
#include "core/pipeway_provider_impl.h"

#include "pw/events.h"
#include "pw/resources.h"
#include "pw/scoped_lock.h"
#include "pw/stack_layout.h"
#include "log/trace_log.h"

#include <list>
#include <utility>

using PipewayMgtData::PPImplStatus;
using namespace PipewayMgtData;  // the result codes

namespace {

// Every cache's entries are guarded by one lock, held only while a cache is searched or
// changed.
CriticalSection g_daInfoLock;
pw::core::DACache g_defaultCache;

// Tells the administrator that a module cannot be used: the rights module refuses everyone,
// any other module every call naming it; without a usable library folder no module loads.
void ReportUnusable(const std::string& name, const std::string& why) {
    using pw::events::Event;
    if (!pw::stack::UsableLibraryFolder()) {
        pw::events::Report(
            Event::kLibraryFolderMissing,
            {std::string("HKLM\\") + pw::stack::kLibraryKey + "\\" + pw::stack::kLibraryValue});
        return;
    }
    pw::events::Report(name == "rukda64" ? Event::kRightsModuleUnusable : Event::kModuleUnusable,
                       {name, why});
}

// The event carries the loader's own words beside the number; the trace line and the status
// text stay as they are.
[[noreturn]] void Unusable(const std::string& name, const char* text, const std::string& why) {
    ReportUnusable(name, why);
    throw PPImplStatus(kModuleUnusable, text);
}

DAInfo LoadDAModule(const std::string& name) {
    DAInfo info;
    info.name = name;
    // By full path from the stack's library folder only: a search would let a library planted
    // in the program's folder, the current folder or on "PATH" run as the host.
    std::string why;
    pw::UniqueLibrary library(pw::stack::LoadStackLibrary(name, &why));
    if (library.get() == nullptr) {
        const DWORD error = GetLastError();
        TraceLog("Error Loading Library %s: %d\n", name.c_str(), static_cast<int>(error));
        Unusable(name, "Unable to load the DA",
                 pw::stack::WithLoaderMessage("Unable to load the DA", error, why));
    }
    TraceLog("LoadLibrary for %s Succeeded - %x\n", name.c_str(),
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(library.get())));

    // A library that lacks an export is released again: it is not cached, and a later request
    // loads it afresh. The first export missing is the one reported.
    const pw::core::ModuleInspection inspection = pw::core::InspectModule(library.get(), name);
    if (const pw::core::ModuleExport& sendCmd = inspection.exports[0]; !sendCmd.found) {
        TraceLog("Error resolving sendCmd: %d\n", static_cast<int>(sendCmd.error));
        Unusable(name, "sendCmd not found", sendCmd.why);
    }
    if (const pw::core::ModuleExport& freeData = inspection.exports[1]; !freeData.found) {
        TraceLog("Error resolving freeData: %d\n", static_cast<int>(freeData.error));
        Unusable(name, "freeData not found", freeData.why);
    }
    info.sendCmd = inspection.sendCmd;
    info.freeData = inspection.freeData;
    info.module = std::move(library);
    return info;
}

}  // namespace

DAInfo* PipewayProviderImpl::getDAInfo(const std::string& name) {
    return getDAInfo(pw::core::DefaultDACache(), name);
}

DAInfo* PipewayProviderImpl::getDAInfo(pw::core::DACache& cache, const std::string& name) {
    TraceLog("PipewayProviderImpl::getDAInfo(%s) called\n", name.c_str());
    ScopedLock lock(g_daInfoLock);
    if (!lock.IsLocked()) {
        TraceLog("PipewayProviderImpl::getDAInfo - Failed to synchronize threads\n");
        throw PPImplStatus(kCacheLockFailed, "PwyImpl: Failed to synchronize in getDAInfo");
    }
    std::list<DAInfo>& entries = cache.entries;
    for (DAInfo& entry : entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    // A module the list cannot take is unloaded again with `loaded`.
    DAInfo loaded = LoadDAModule(name);
    entries.push_back(std::move(loaded));
    return &entries.back();
}

void PipewayProviderImpl::CleanUpDAInfo() {
    pw::core::ReleaseModules(g_defaultCache);
}

namespace pw::core {

DACache& DefaultDACache() noexcept {
    return g_defaultCache;
}

void ReleaseModules(DACache& cache) noexcept {
    ScopedLock lock(g_daInfoLock);
    if (!lock.IsLocked()) {
        TraceLog("PipewayProviderImpl::CleanUpDAInfo() - Failed to synchronize\n");
        return;
    }
    cache.entries.clear();  // each entry unloads its library
}

void AttachModuleCache() {
    g_daInfoLock.Create();
}

void DetachModuleCache() {
    g_daInfoLock.Destroy();
}

}  // namespace pw::core
