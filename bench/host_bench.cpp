// The provider library through the host, as the WMI service calls it: a whole ExecMethodAsync
// with string and with array input, tracing off and on; an enumeration; method calls from one
// and from two threads. Each method call reports how many file-system queries it made through
// the platform (the trace log's looks for its file). Beside them, one trace call with tracing
// off: the gate's own check.
#include "bench/bench_stack.h"

#include "host/client_call.h"
#include "host/host_objects.h"
#include "host/method_call.h"
#include "host/provider_host.h"
#include "pw/resources.h"
#include "log/trace_log.h"

#include <benchmark/benchmark.h>

#include <pw_counters.h>
#include <wbemidl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using bench::g_host;
using bench::g_provider;
using bench::kClient;
using bench::kImpersonate;
using bench::kInstancePath;

enum class Input { kString, kArray };

// One method call, its in-parameters made once.
class MethodCall {
  public:
    explicit MethodCall(Input input)
        : m_call(g_host->ClassDefinition(), kInstancePath,
                 input == Input::kString ? host::kExecuteCommand : host::kExecuteCommandTokens,
                 MakeInput(input)->get()) {}

    // One call as a client would make it; true when it ran the command with ResultCode 0.
    bool Run(bool check = false) {
        if (check) {
            const host::CallAnswer answer = m_call.Call(g_provider, kClient, kImpersonate);
            return SUCCEEDED(answer.hr) && answer.objects == 1 &&
                   answer.resultCode == std::wstring(L"0");
        }
        const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
        return SUCCEEDED(m_call.Invoke(g_provider, kClient, kImpersonate, sink.get()));
    }

  private:
    static std::unique_ptr<pw::UniqueVariant> MakeInput(Input input) {
        auto value = std::make_unique<pw::UniqueVariant>();
        if (input == Input::kString) {
            host::SetStringInput(*value, L"daname=lumda64 velcmd=getobject objtype=sensor");
        } else {
            host::SetArrayInput(*value,
                                {L"daname=lumda64", L"velcmd=getobject", L"objtype=sensor"});
        }
        return value;
    }

    host::MethodCall m_call;
};

void BM_ExecMethodAsync(benchmark::State& state, Input input, bool tracing) {
    MethodCall call(input);
    if (!call.Run(true)) {
        state.SkipWithError("the call does not run the command");
        return;
    }
    if (!tracing) {
        state.counters["trace_calls"] = bench::TraceCallsOf([&call] { call.Run(); });
    }
    bench::SetTracing(tracing);
    const unsigned long long queries = PwFileQueries();
    for (auto _ : state) {
        benchmark::DoNotOptimize(call.Run());
    }
    state.counters["fs_queries"] =
        static_cast<double>(PwFileQueries() - queries) / static_cast<double>(state.iterations());
    bench::SetTracing(false);
}
BENCHMARK_CAPTURE(BM_ExecMethodAsync, string_off, Input::kString, false);
BENCHMARK_CAPTURE(BM_ExecMethodAsync, array_off, Input::kArray, false);
BENCHMARK_CAPTURE(BM_ExecMethodAsync, string_on, Input::kString, true);
BENCHMARK_CAPTURE(BM_ExecMethodAsync, array_on, Input::kArray, true);

void BM_CreateInstanceEnumAsync(benchmark::State& state) {
    const pw::UniqueBstr className(L"ZOLM_OEM_DataAccessModule");
    const auto enumerate = [&className] {
        const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
        HRESULT hr;
        {
            host::ClientCall client(kClient, kImpersonate);
            hr = g_provider->CreateInstanceEnumAsync(className.get(), 0, nullptr, sink.get());
        }
        return SUCCEEDED(hr) && sink->Objects().size() == 1;
    };
    if (!enumerate()) {
        state.SkipWithError("the enumeration gives no instance");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(enumerate());
    }
}
BENCHMARK(BM_CreateInstanceEnumAsync);

// Calls on one provider object from several WMI threads at once, tracing off.
void BM_ExecThreads(benchmark::State& state) {
    MethodCall call(Input::kString);
    for (auto _ : state) {
        benchmark::DoNotOptimize(call.Run());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExecThreads)->Threads(1)->Threads(2)->UseRealTime();

// One trace call with the path set and no file: the gate's check alone.
void BM_TraceOff(benchmark::State& state) {
    bench::SetTracing(false);
    g_traceLogPath.Set(bench::TraceLogFile().string());
    for (auto _ : state) {
        TraceLog("PipewayProviderImpl::ExecuteMethod() - About to invoke sendCmd()\n");
    }
    g_traceLogPath.Clear();
}
BENCHMARK(BM_TraceOff);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunAgainstProvider(&argc, argv, PW_PROVIDER_LIBRARY, "host_bench");
}
