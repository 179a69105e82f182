// The cost of one method call through the Windows build, timed with the C++ clock alone (no
// benchmark library is packaged for mingw), for `bench/run wine` under Wine. It loads the
// provider library it is given, as the project's host loads it, against the benchmarks' stack
// (modules that answer at once, so that the figure is the provider's), writes the exclusion file
// and the log folder there, and makes the same plain call (lumda64, getobject) again and again.
//
//   call_timing PROVIDER.dll STACK-FOLDER CALLS off|on
//
// prints "<mode> <calls> <microseconds per call, best of five rounds>". With "on" the trace log
// exists for the run and is emptied after each round. Exit status 1 when the provider does not
// start or a call does not run the command.
#include "host/client_call.h"
#include "host/host_objects.h"
#include "host/method_call.h"
#include "host/provider_host.h"
#include "pw/resources.h"
#include "pw/stack_layout.h"

#include <wbemidl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kImpersonate = RPC_C_IMP_LEVEL_IMPERSONATE;
const std::wstring kClient = L"HOST\\alice";
// The benchmarks' policy: what no call here asks for is refused, so a decision reads the table.
constexpr char kPolicy[] =
    "<AUTHEXLIST><USER><COMMAND name=\"setobject\"/></USER>"
    "<POWERUSER><COMMAND name=\"getobject\"><PARAM name=\"objtype=account\"/></COMMAND>"
    "</POWERUSER><ADMIN><COMMAND name=\"resetcontroller\"/></ADMIN></AUTHEXLIST>";
const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "call_timing: %s (0x%08lx)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// The bench stack's policy in place, and the trace log there when tracing is on.
fs::path PrepareStack(const fs::path& stack, bool tracing) {
    const fs::path pipeway = stack / "root" / "svx" / "pipeway";
    const fs::path log = pipeway / "log" / "WinPipeway.log";
    fs::create_directories(pipeway / "bin");
    fs::create_directories(pipeway / "log");
    std::ofstream(pipeway / "bin" / "authexclusion.xml", std::ios::binary) << kPolicy;
    std::error_code ignored;
    fs::remove(log, ignored);
    if (tracing) {
        std::ofstream(log, std::ios::binary).flush();
    }
    return log;
}

// The best of five rounds of `calls` calls, in microseconds a call; negative when one failed.
double BestRound(const host::MethodCall& call, IWbemServices* provider, long calls,
                 const fs::path& log, bool tracing) {
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < calls; ++i) {
            const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
            if (FAILED(call.Invoke(provider, kClient, kImpersonate, sink.get()))) {
                return -1;
            }
        }
        const double each =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count() /
            static_cast<double>(calls);
        best = round == 0 ? each : std::min(best, each);
        if (tracing) {
            std::error_code ignored;
            fs::resize_file(log, 0, ignored);
        }
    }
    return best;
}

// Loads the provider, initialises it as the WMI service does and times the method call.
int TimeCalls(const char* library, long calls, const fs::path& log, bool tracing) {
    host::ProviderHost host(library);
    pw::ComPtr<IWbemServices> provider;
    HRESULT hr = host.Loaded() ? host.CreateProvider(provider.put()) : CO_E_DLLNOTFOUND;
    if (FAILED(hr)) {
        return Fail("the provider cannot be created", hr);
    }
    {
        const pw::ComPtr<host::InitSink> sink(new host::InitSink);
        host::ClientCall client(kClient, kImpersonate);
        hr = host.Initialize(provider.get(), sink.get());
    }
    if (FAILED(hr)) {
        return Fail("Initialize failed", hr);
    }
    pw::UniqueVariant input;
    host::SetStringInput(input, L"daname=lumda64 velcmd=getobject");
    const host::MethodCall call(host.ClassDefinition(), kInstancePath, host::kExecuteCommand,
                                input.get());
    const host::CallAnswer first = call.Call(provider.get(), kClient, kImpersonate);
    if (FAILED(first.hr) || first.resultCode != std::wstring(L"0")) {
        return Fail("the call does not run the command", first.hr);
    }
    const double best = BestRound(call, provider.get(), calls, log, tracing);
    if (best < 0) {
        return Fail("a call failed", E_FAIL);
    }
    std::printf("%s %ld %.1f\n", tracing ? "on" : "off", calls, best);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 || (std::string(argv[4]) != "off" && std::string(argv[4]) != "on")) {
        std::fprintf(stderr, "usage: call_timing PROVIDER.dll STACK-FOLDER CALLS off|on\n");
        return 2;
    }
    const fs::path stack = fs::absolute(argv[2]);
    const long calls = std::max(1L, std::strtol(argv[3], nullptr, 10));
    const bool tracing = std::string(argv[4]) == "on";
    const fs::path log = PrepareStack(stack, tracing);
    if (!pw::stack::SetLibraryFolder(stack.string() + "\\")) {
        return Fail("cannot write CorvaneLibPath", E_FAIL);
    }
    const int status = TimeCalls(argv[1], calls, log, tracing);
    std::error_code ignored;
    fs::remove(log, ignored);
    return status;
}
