// What one method call costs as its command line grows, through the provider library as the WMI
// service calls it: command lines of 64 KiB to 16 MiB in three shapes (one long velcmd, many
// short tokens, both at once), each reported as nanoseconds and peak heap bytes per byte of
// command line. A cost linear in the request keeps both figures flat across the sizes.
//
// The peak is the provider's own share, counted two ways. The heap: this program counts every
// heap block (malloc, calloc, realloc and the aligned forms, which operator new also reaches),
// and the share is the highest count during the call above the count just before it, when the
// host already holds the call's in-parameters. The process: the peak resident set during the
// call above the resident set just before it (Linux resets the peak on request), which is what
// the host pays for, the allocator's own keeping included.
#include "bench/bench_stack.h"

#include "host/client_call.h"
#include "host/host_objects.h"
#include "host/method_call.h"
#include "host/provider_host.h"
#include "pw/resources.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <wbemidl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<std::size_t> g_heapNow{0};
std::atomic<std::size_t> g_heapPeak{0};

void Added(void* block) {
    if (block == nullptr) {
        return;
    }
    const std::size_t now =
        g_heapNow.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    std::size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
}

void Removed(void* block) {
    if (block != nullptr) {
        g_heapNow.fetch_sub(malloc_usable_size(block));
    }
}

}  // namespace

// The process's allocator, counted. Every library of the process (the provider, the platform,
// the C++ runtime) reaches these definitions before the C library's.
extern "C" {
void* malloc(std::size_t size) {
    void* block = __libc_malloc(size);
    Added(block);
    return block;
}
void* calloc(std::size_t count, std::size_t size) {
    void* block = __libc_calloc(count, size);
    Added(block);
    return block;
}
void* realloc(void* block, std::size_t size) {
    const std::size_t before = block == nullptr ? 0 : malloc_usable_size(block);
    void* moved = __libc_realloc(block, size);
    if (moved != nullptr || size == 0) {
        g_heapNow.fetch_sub(before);
        Added(moved);
    }
    return moved;
}
void free(void* block) {
    Removed(block);
    __libc_free(block);
}
void* memalign(std::size_t alignment, std::size_t size) {
    void* block = __libc_memalign(alignment, size);
    Added(block);
    return block;
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* block = memalign(alignment, size);
    if (block == nullptr) {
        return 12;  // ENOMEM
    }
    *out = block;
    return 0;
}
}

namespace {

enum class Shape { kLongCommand, kManyTokens, kBoth };

// A line of /proc/self/status ("VmRSS:", "VmHWM:") in bytes; 0 when not there.
std::size_t StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    std::size_t kib = 0;
    while (status >> name) {
        if (name == field && status >> kib) {
            return kib * 1024;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

// Makes the peak resident set the present one; false when the kernel cannot.
bool ResetPeakResidentSet() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// A command line of exactly `size` characters in that shape, one the bench policy allows.
std::wstring CommandLine(Shape shape, std::size_t size) {
    std::wstring line = L"daname=lumda64 velcmd=";
    const std::size_t longPart = shape == Shape::kLongCommand ? size - line.size()
                                 : shape == Shape::kBoth      ? size / 2
                                                              : 0;
    if (longPart == 0) {
        line += L"getobject";
    } else {
        line.append(longPart, L'g');
    }
    while (line.size() + 3 <= size) {
        line += L" a=";
    }
    line.append(size - line.size(), L' ');
    return line;
}

void BM_CommandLineSize(benchmark::State& state, Shape shape) {
    const auto size = static_cast<std::size_t>(state.range(0));
    pw::UniqueVariant input;
    host::SetStringInput(input, CommandLine(shape, size).c_str());
    host::MethodCall call(bench::g_host->ClassDefinition(), bench::kInstancePath,
                          host::kExecuteCommand, input.get());

    // The first call, counted: it must run the command.
    const bool peakReset = ResetPeakResidentSet();
    const std::size_t residentBefore = StatusBytes("VmRSS:");
    const std::size_t before = g_heapNow.load();
    g_heapPeak.store(before);
    const host::CallAnswer answer =
        call.Call(bench::g_provider, bench::kClient, bench::kImpersonate);
    const std::size_t peak = g_heapPeak.load() - before;
    const std::size_t residentPeak = StatusBytes("VmHWM:");
    if (FAILED(answer.hr) || answer.resultCode != std::wstring(L"0")) {
        state.SkipWithError("the call does not run the command");
        return;
    }

    double elapsed = 0;
    for (auto _ : state) {
        const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(
            call.Invoke(bench::g_provider, bench::kClient, bench::kImpersonate, sink.get()));
        elapsed +=
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
                .count();
    }
    const double bytes = static_cast<double>(size);
    state.counters["ns_per_byte"] = elapsed / static_cast<double>(state.iterations()) / bytes;
    state.counters["peak_per_byte"] = static_cast<double>(peak) / bytes;
    if (peakReset && residentPeak >= residentBefore) {
        state.counters["rss_per_byte"] = static_cast<double>(residentPeak - residentBefore) / bytes;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

void Sizes(benchmark::internal::Benchmark* bench) {
    for (std::int64_t size = 64 << 10; size <= 16 << 20; size *= 4) {
        bench->Arg(size);
    }
    bench->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_CommandLineSize, long_velcmd, Shape::kLongCommand)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_CommandLineSize, many_tokens, Shape::kManyTokens)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_CommandLineSize, both, Shape::kBoth)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunAgainstProvider(&argc, argv, PW_PROVIDER_LIBRARY, "request_size_bench");
}
