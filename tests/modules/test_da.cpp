// A DA module whose answers the test decides, built once per module name and variant.
//
// DA_NAME is the module name; DA_ALIAS, when defined, names a second set of exports in the
// same library (for modules whose names differ only in case). DA_NO_SENDCMD and DA_NO_FREEDATA
// leave the corresponding export out.
//
// Besides the contract's two exports the module exports <name>_testControl, through which the
// test chooses the answer and reads what the module saw (see test_da_control.h).
#include <pipeway/da_contract.h>
#include "tests/modules/test_da_control.h"

#include "tests/modules/thread_identity.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>

#ifndef DA_NAME
#error DA_NAME must name the module
#endif

namespace {

std::mutex g_mutex;
TestDAMode g_mode = TestDAMode::kEcho;
std::string g_fixedText;
std::set<char*> g_outstanding;  // answers handed out and not yet taken back
std::atomic<long> g_sendCount{0};
std::atomic<long> g_freeCount{0};
std::atomic<long> g_badFreeCount{0};
std::string g_lastArgs;  // the tokens of the last call, one per line
std::atomic<long> g_impersonatingCalls{0};
// The gate holds sendCmd calls inside the module, for tests of what may happen meanwhile.
bool g_gateClosed = false;
long g_waiting = 0;

// The gate's condition outlives a module unloaded under calls waiting at it: destroying it then
// would block until they leave, and the test that catches such an unload would hang instead of
// failing.
struct GateCondition {
    GateCondition() { new (&changed) std::condition_variable; }
    ~GateCondition() {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_waiting == 0) {
            changed.~condition_variable();
        }
    }
    union {
        std::condition_variable changed;
    };
};
GateCondition g_gate;

// Called while the module is unloaded: the test sees what else happens during an unload.
TestDAUnloadHook g_unloadHook{nullptr, nullptr};
struct UnloadNotice {
    ~UnloadNotice() {
        if (g_unloadHook.call != nullptr) {
            g_unloadHook.call(g_unloadHook.context);
        }
    }
} g_unloadNotice;

char* Answer(const std::string& text) {
    char* answer = static_cast<char*>(std::malloc(text.size() + 1));
    if (answer == nullptr) {
        return nullptr;
    }
    std::memcpy(answer, text.c_str(), text.size() + 1);
    std::lock_guard<std::mutex> lock(g_mutex);
    try {
        g_outstanding.insert(answer);
    } catch (...) {
        std::free(answer);
        throw;
    }
    return answer;
}

// Whether the library was loaded by a thread that impersonated its client.
const bool g_loadedImpersonating = ThreadIsImpersonating();

[[maybe_unused]] char* SendCmd(int argc, char* argv[]) {
    ++g_sendCount;
    if (ThreadIsImpersonating()) {
        ++g_impersonatingCalls;
    }
    std::string echo;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            echo += '\n';
        }
        echo += argv[i] == nullptr ? "(null)" : argv[i];
    }
    TestDAMode mode;
    std::string text;
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        ++g_waiting;
        g_gate.changed.notify_all();
        g_gate.changed.wait(lock, [] { return !g_gateClosed; });
        --g_waiting;
        mode = g_mode;
        text = g_fixedText;
        g_lastArgs = echo;
    }
    switch (mode) {
        case TestDAMode::kNull:
            return nullptr;
        case TestDAMode::kFixed:
            return Answer(text);
        case TestDAMode::kEcho:
            break;
    }
    return Answer(echo);
}

[[maybe_unused]] void FreeData(char* answer) {
    ++g_freeCount;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_outstanding.erase(answer) == 0) {
            ++g_badFreeCount;
            return;
        }
    }
    std::free(answer);
}

long SetMode(TestDARequest request, const char* text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_mode = request == TestDARequest::kSetEcho   ? TestDAMode::kEcho
             : request == TestDARequest::kSetNull ? TestDAMode::kNull
                                                  : TestDAMode::kFixed;
    g_fixedText = text == nullptr ? "" : text;
    return 0;
}

// Copies the last call's tokens into the caller's buffer (at least kLastArgsBufferSize bytes);
// returns their length.
long CopyLastArgs(char* buffer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::size_t length =
        g_lastArgs.size() < kLastArgsBufferSize ? g_lastArgs.size() : kLastArgsBufferSize - 1;
    std::memcpy(buffer, g_lastArgs.data(), length);
    buffer[length] = '\0';
    return static_cast<long>(length);
}

long Reset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_gateClosed = false;
    g_mode = TestDAMode::kEcho;
    g_fixedText.clear();
    g_sendCount = 0;
    g_freeCount = 0;
    g_badFreeCount = 0;
    g_impersonatingCalls = 0;
    g_lastArgs.clear();
    return 0;
}

long Control(int request, const char* text) {
    switch (static_cast<TestDARequest>(request)) {
        case TestDARequest::kSetEcho:
        case TestDARequest::kSetNull:
        case TestDARequest::kSetFixed:
            return SetMode(static_cast<TestDARequest>(request), text);
        case TestDARequest::kSendCount:
            return g_sendCount.load();
        case TestDARequest::kFreeCount:
            return g_freeCount.load();
        case TestDARequest::kBadFreeCount:
            return g_badFreeCount.load();
        case TestDARequest::kOutstanding: {
            std::lock_guard<std::mutex> lock(g_mutex);
            return static_cast<long>(g_outstanding.size());
        }
        case TestDARequest::kLoadedImpersonating:
            return g_loadedImpersonating ? 1 : 0;
        case TestDARequest::kImpersonatingCalls:
            return g_impersonatingCalls.load();
        case TestDARequest::kLastArgs:
            return CopyLastArgs(const_cast<char*>(text));
        case TestDARequest::kCloseGate:
        case TestDARequest::kOpenGate: {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_gateClosed = request == static_cast<int>(TestDARequest::kCloseGate);
            g_gate.changed.notify_all();
            return 0;
        }
        case TestDARequest::kWaiting: {
            // Waits until at least one call is at the gate.
            std::unique_lock<std::mutex> lock(g_mutex);
            g_gate.changed.wait(lock, [] { return g_waiting > 0; });
            return g_waiting;
        }
        case TestDARequest::kOnUnload:
            g_unloadHook = *reinterpret_cast<const TestDAUnloadHook*>(text);
            return 0;
        case TestDARequest::kReset:
            return Reset();
    }
    return -1;
}

}  // namespace

#define DA_EXPORTS(name)                                                               \
    PW_DA_EXPORT long PW_DA_ENTRY(name, _testControl)(int request, const char* text) { \
        return Control(request, text);                                                 \
    }                                                                                  \
    DA_SENDCMD_EXPORT(name)                                                            \
    DA_FREEDATA_EXPORT(name)

#ifdef DA_NO_SENDCMD
#define DA_SENDCMD_EXPORT(name)
#else
#define DA_SENDCMD_EXPORT(name)                                              \
    PW_DA_EXPORT char* PW_DA_ENTRY(name, _sendCmd)(int argc, char* argv[]) { \
        try {                                                                \
            return SendCmd(argc, argv);                                      \
        } catch (...) {                                                      \
            return nullptr; /* out of memory: no answer, as a C module */    \
        }                                                                    \
    }
#endif

#ifdef DA_NO_FREEDATA
#define DA_FREEDATA_EXPORT(name)
#else
#define DA_FREEDATA_EXPORT(name)                                   \
    PW_DA_EXPORT void PW_DA_ENTRY(name, _freeData)(char* answer) { \
        FreeData(answer);                                          \
    }
#endif

DA_EXPORTS(DA_NAME)
#ifdef DA_ALIAS
DA_EXPORTS(DA_ALIAS)
#endif
