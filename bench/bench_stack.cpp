#include "bench/bench_stack.h"

#include "host/client_call.h"
#include "host/host_objects.h"
#include "pw/stack_layout.h"
#include "log/trace_log.h"

#include <benchmark/benchmark.h>

#include <pw_clock.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bench {

namespace fs = std::filesystem;

namespace {

// Refuses what no benchmark request asks for, so that every decision reads the whole token
// list. The scanner copies line feeds to standard output: the benchmarks' files have none.
constexpr char kStackPolicy[] =
    "<AUTHEXLIST><USER><COMMAND name=\"setobject\"/></USER>"
    "<POWERUSER><COMMAND name=\"getobject\"><PARAM name=\"objtype=account\"/></COMMAND>"
    "</POWERUSER><ADMIN><COMMAND name=\"resetcontroller\"/></ADMIN></AUTHEXLIST>";

fs::path InstallRoot() {
    return StackFolder() / "root";
}

}  // namespace

fs::path StackFolder() {
    return PW_BENCH_STACK_DIR;
}

fs::path TraceLogFile() {
    return InstallRoot() / "svx" / "pipeway" / "log" / "WinPipeway.log";
}

void WriteTextFile(const fs::path& file, const std::string& content) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("bench: cannot write " + file.string());
    }
}

void PrepareStack() {
    WriteTextFile(InstallRoot() / "svx" / "pipeway" / "bin" / "authexclusion.xml", kStackPolicy);
    fs::create_directories(TraceLogFile().parent_path());
    SetTracing(false);
#if !defined(_WIN32)
    SetEnvironmentVariableA("PIPEWAY_REGISTRY", (StackFolder() / "registry.txt").string().c_str());
#endif
    if (!pw::stack::SetLibraryFolder(StackFolder().string())) {
        throw std::runtime_error("bench: cannot write CorvaneLibPath");
    }
}

ProviderUnderTest::ProviderUnderTest(const char* library, const char* program)
    : m_host(std::make_unique<host::ProviderHost>(library)) {
    if (!m_host->Loaded() || FAILED(m_host->CreateProvider(m_provider.put()))) {
        std::fprintf(stderr, "%s: cannot load the provider %s\n", program, library);
        return;
    }
    HRESULT hr;
    {
        const pw::ComPtr<host::InitSink> initSink(new host::InitSink);
        host::ClientCall client(kClient, kImpersonate);
        hr = m_host->Initialize(m_provider.get(), initSink.get());
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s: Initialize failed: 0x%08lx\n", program,
                     static_cast<unsigned long>(hr));
        return;
    }
    m_started = true;
}

host::ProviderHost* g_host = nullptr;
IWbemServices* g_provider = nullptr;

int RunAgainstProvider(int* argc, char** argv, const char* library, const char* program) {
    if (!Begin(argc, argv)) {
        return 1;
    }
    {
        ProviderUnderTest started(library, program);
        if (!started.Started()) {
            return 1;
        }
        g_host = &started.Host();
        g_provider = started.Provider();
        benchmark::RunSpecifiedBenchmarks();
        g_provider = nullptr;
        g_host = nullptr;
    }
    return End();
}

bool Begin(int* argc, char** argv) {
    benchmark::Initialize(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(*argc, argv)) {
        return false;
    }
    PrepareStack();
    TraceLogProcessAttach();
    return true;
}

int End() {
    TraceLogProcessDetach();
    benchmark::Shutdown();
    return 0;
}

void SetTracing(bool on) {
    if (on) {
        WriteTextFile(TraceLogFile(), "");
    } else {
        std::error_code ignored;
        fs::remove(TraceLogFile(), ignored);
    }
    // The provider looks for the log once per interval: the next trace call looks again.
    PwAdvanceTickCount(kTraceLookIntervalMilliseconds);
}

int TraceEntriesWritten() {
    std::ifstream in(TraceLogFile(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int entries = 0;
    for (std::size_t at = text.find("[Proc:"); at != std::string::npos;
         at = text.find("[Proc:", at + 1)) {
        ++entries;
    }
    return entries;
}

std::string GeneratedPolicy(int entries) {
    static const char* const kSections[] = {"USER", "POWERUSER", "ADMIN"};
    std::string text = "<AUTHEXLIST>";
    for (int section = 0; section < 3; ++section) {
        text += " <";
        text += kSections[section];
        text += ">";
        for (int i = section; i < entries; i += 3) {
            const std::string command = "cmd" + std::to_string(i);
            if (i % 2 == 0) {
                text += " <COMMAND name=\"" + command + "\"/>";
            } else {
                text += " <COMMAND name=\"" + command + "\"><PARAM name=\"objtype=t" +
                        std::to_string(i) + "\"/></COMMAND>";
            }
        }
        text += " </";
        text += kSections[section];
        text += ">";
    }
    return text + " </AUTHEXLIST>";
}

}  // namespace bench
