// The benchmarks' own stack under the build tree: the DA modules CMake builds into it, an
// install root with an exclusion file and a log folder, and the registry that names it.
#pragma once

#include "host/provider_host.h"
#include "pw/resources.h"

#include <wbemidl.h>

#include <filesystem>
#include <memory>
#include <string>

namespace bench {

std::filesystem::path StackFolder();
std::filesystem::path TraceLogFile();

// Writes the exclusion file, makes the log folder (with no log file: tracing off), points the
// registry's "CorvaneLibPath" and the library search path at the stack. Call before anything
// loads a DA module.
void PrepareStack();

// The start of a benchmark program: Google Benchmark reads its options, the stack is prepared
// and the trace log attached, as the provider library's load attaches it. False when the
// command line holds an option nobody knows.
bool Begin(int* argc, char** argv);
// The end: the trace log detached and Google Benchmark shut down. Gives the exit status.
int End();

// The client of every benchmark call, at the impersonate level, and the one instance's path.
inline constexpr DWORD kImpersonate = RPC_C_IMP_LEVEL_IMPERSONATE;
inline const WCHAR* const kClient = L"HOST\\alice";
inline const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

// The provider library loaded through the host and initialised by the client HOST\alice, as
// the WMI service starts it. `program` names the caller in a message when it cannot start.
class ProviderUnderTest {
  public:
    ProviderUnderTest(const char* library, const char* program);
    // Whether it started: when not, a message is on standard error.
    bool Started() const { return m_started; }
    host::ProviderHost& Host() { return *m_host; }
    IWbemServices* Provider() const { return m_provider.get(); }

  private:
    std::unique_ptr<host::ProviderHost> m_host;
    pw::ComPtr<IWbemServices> m_provider;
    bool m_started = false;
};

// The provider the running benchmarks call, and its host: set by RunAgainstProvider while they
// run, null before and after.
extern host::ProviderHost* g_host;
extern IWbemServices* g_provider;

// The main of a program whose benchmarks call the provider: Begin, the provider started and
// handed out through g_host and g_provider while the benchmarks run, then End.
int RunAgainstProvider(int* argc, char** argv, const char* library, const char* program);

// Tracing on (the log file exists, emptied) or off (it does not), seen by the next trace call:
// the clock is moved past the provider's interval between two looks for the file.
void SetTracing(bool on);

// Turns tracing on, runs `work` once, turns tracing off and gives the number of entries it
// wrote.
template <typename Work>
int TraceCallsOf(Work work);
int TraceEntriesWritten();

// An exclusion file of `entries` keys, spread over the three sections; half are commands on
// their own, half a command with one parameter ("cmd<i>" and "cmd<i>" + "objtype=t<i>"). It
// is one line: the scanner copies line feeds to standard output.
std::string GeneratedPolicy(int entries);

void WriteTextFile(const std::filesystem::path& file, const std::string& content);

template <typename Work>
int TraceCallsOf(Work work) {
    SetTracing(true);
    work();
    const int entries = TraceEntriesWritten();
    SetTracing(false);
    return entries;
}

}  // namespace bench
