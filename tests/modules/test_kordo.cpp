// Stand-in for the stack's common-services library "kordo64": reports the install root that
// the test sets through kordo64_testSetRoot (null: no root), and counts the roots it handed
// out that were not given back through ZevGenericFree.
#include <pipeway/da_contract.h>

#include "tests/modules/thread_identity.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
bool g_hasRoot = false;
std::string g_root;
std::atomic<long> g_outstanding{0};
std::atomic<long> g_impersonatingCalls{0};
std::atomic<long> g_calls{0};

}  // namespace

PW_DA_EXPORT char* ZevGetRootInstallPath() {
    ++g_calls;
    if (ThreadIsImpersonating()) {
        ++g_impersonatingCalls;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_hasRoot) {
        return nullptr;
    }
    char* copy = static_cast<char*>(std::malloc(g_root.size() + 1));
    if (copy != nullptr) {
        std::memcpy(copy, g_root.c_str(), g_root.size() + 1);
        ++g_outstanding;
    }
    return copy;
}

PW_DA_EXPORT void ZevGenericFree(void* block) {
    if (block != nullptr) {
        --g_outstanding;
    }
    std::free(block);
}

PW_DA_EXPORT void kordo64_testSetRoot(const char* root) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_hasRoot = root != nullptr;
    g_root = root == nullptr ? "" : root;
}

PW_DA_EXPORT long kordo64_testOutstanding() {
    return g_outstanding.load();
}

// How often the root was asked for, and how often by a thread impersonating its client.
PW_DA_EXPORT long kordo64_testCalls() {
    return g_calls.load();
}
PW_DA_EXPORT long kordo64_testImpersonatingCalls() {
    return g_impersonatingCalls.load();
}
