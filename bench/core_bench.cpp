// The command core in process: the floor (a bare DA call), one whole request, tokenising by
// input size, and the exclusion store by table size. Tracing is off as in production: the log
// path is set and no file lies there, so every trace call costs its file-status query.
#include "bench/bench_stack.h"

#include "authex/auth_exception.h"
#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"
#include "log/trace_log.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using PipewayMgtData::PPImplStatus;

const std::vector<std::string> kRequestTokens = {"daname=lumda64", "velcmd=getobject",
                                                 "objtype=sensor"};

// The module's entries with an argument array as a request builds it.
struct ModuleCall {
    ModuleCall() : info(PipewayProviderImpl::getDAInfo("lumda64")) {
        for (std::string& token : tokens) {
            argv.push_back(token.data());
        }
    }
    DAInfo* info;
    std::vector<std::string> tokens = {"daname=lumda64", "velcmd=getobject", "objtype=sensor",
                                       "localLogin=TRUE"};
    std::vector<char*> argv;
};

void BM_FloorSendCmd(benchmark::State& state) {
    ModuleCall call;
    for (auto _ : state) {
        char* answer = call.info->sendCmd(static_cast<int>(call.argv.size()), call.argv.data());
        benchmark::DoNotOptimize(answer);
        call.info->freeData(answer);
    }
}
BENCHMARK(BM_FloorSendCmd);

void BM_FloorRunDACmd(benchmark::State& state) {
    ModuleCall call;
    std::string answer;
    for (auto _ : state) {
        pw::core::RunDACmd(*call.info, static_cast<std::int32_t>(call.argv.size()),
                           call.argv.data(), answer);
        benchmark::DoNotOptimize(answer.data());
    }
}
BENCHMARK(BM_FloorRunDACmd);

// Construction (validation, the rights query through "rukda64", the decision) and execution.
void BM_Request(benchmark::State& state) {
    {
        PipewayProviderImpl request("HOST\\alice", kRequestTokens);
        std::string answer;
        if (!request.IsAuthorizedRequest() || request.ExecuteMethod(answer).code != 0) {
            state.SkipWithError("the request is not run");
            return;
        }
    }
    for (auto _ : state) {
        PipewayProviderImpl request("HOST\\alice", kRequestTokens);
        std::string answer;
        const PPImplStatus status = request.ExecuteMethod(answer);
        benchmark::DoNotOptimize(status.code);
    }
}
BENCHMARK(BM_Request);

// A certificate upload of about `size` bytes in all. Each iteration tokenises a fresh copy of
// the line, as the provider does with the text it converted.
std::string CertificateLine(std::size_t size) {
    const std::string head = "velcmd=setUploadVandryCertificate CertificateStringLength=";
    const std::string tail = " daname=kordo64";
    const std::size_t overhead =
        head.size() + 8 + std::string(" CertificateString=").size() + tail.size();
    const std::size_t length = size > overhead ? size - overhead : 1;
    std::string certificate(length, 'Q');
    for (std::size_t i = 63; i < length; i += 64) {
        certificate[i] = '=';  // base64 padding and "=" inside the certificate, as real ones
    }
    return head + std::to_string(length) + " CertificateString=" + certificate + tail;
}

void BM_ConvertStrToVec(benchmark::State& state) {
    const std::string line = CertificateLine(static_cast<std::size_t>(state.range(0)));
    {
        std::string text = line;
        pw::TokenList tokens;
        if (PipewayProviderImpl::ConvertStrToVec(text, tokens).code != 0 || tokens.size() != 4) {
            state.SkipWithError("the line does not tokenise");
            return;
        }
    }
    for (auto _ : state) {
        std::string text = line;
        pw::TokenList tokens;
        const PPImplStatus status = PipewayProviderImpl::ConvertStrToVec(text, tokens);
        benchmark::DoNotOptimize(status.code);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(line.size()));
    state.counters["line_bytes"] = static_cast<double>(line.size());
}
BENCHMARK(BM_ConvertStrToVec)->Arg(100)->Arg(10 * 1024)->Arg(1024 * 1024);

std::filesystem::path PolicyFile(int entries) {
    const std::filesystem::path file =
        bench::StackFolder() / "policies" / ("policy-" + std::to_string(entries) + ".xml");
    bench::WriteTextFile(file, bench::GeneratedPolicy(entries));
    return file;
}

void BM_StoreBuild(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const std::string file = PolicyFile(entries).string();
    {
        const auto policy = CSingletonAuthExceptionImpl::ReadPolicyFile(file);
        if (!policy.accepted || policy.store->RoleTable().size() != std::size_t(entries)) {
            state.SkipWithError("the generated file does not read back whole");
            return;
        }
    }
    for (auto _ : state) {
        auto policy = CSingletonAuthExceptionImpl::ReadPolicyFile(file);
        benchmark::DoNotOptimize(policy.store.get());
    }
    state.counters["entries"] = entries;
}
BENCHMARK(BM_StoreBuild)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// An administrator's request that no entry refuses: the command and every token are looked up.
void BM_StoreDecision(benchmark::State& state) {
    const auto policy = CSingletonAuthExceptionImpl::ReadPolicyFile(PolicyFile(10000).string());
    const std::string command = "cmd5001";
    const pw::TokenList tokens = {"daname=lumda64", "velcmd=cmd5001", "objtype=t5002",
                                  "localLogin=TRUE"};
    const std::uint32_t mask = ROLE_ADMIN;
    if (!policy.store->IsAuthorized(command, tokens, mask)) {
        state.SkipWithError("the request is refused");
        return;
    }
    state.counters["trace_calls"] = bench::TraceCallsOf(
        [&] { benchmark::DoNotOptimize(policy.store->IsAuthorized(command, tokens, mask)); });
    for (auto _ : state) {
        benchmark::DoNotOptimize(policy.store->IsAuthorized(command, tokens, mask));
    }
}
BENCHMARK(BM_StoreDecision);

}  // namespace

int main(int argc, char** argv) {
    if (!bench::Begin(&argc, argv)) {
        return 1;
    }
    // The core's attach notification, then the state an initialised provider leaves.
    pw::core::ProcessAttach();
    g_traceLogPath.Set(bench::TraceLogFile().string());

    benchmark::RunSpecifiedBenchmarks();

    PipewayProviderImpl::CleanUpDAInfo();
    pw::core::ProcessDetach();
    return bench::End();
}
