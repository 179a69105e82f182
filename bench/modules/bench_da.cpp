// A DA module for the benchmarks: answers BENCH_DA_ANSWER to every command, with no lock and
// no bookkeeping, so that a call through it costs what the contract itself costs (one
// allocation and one copy of a short text). With BENCH_ROOT_INSTALL_PATH it is also the
// common-services library and reports that folder as the install root.
#include <pipeway/da_contract.h>

#include <cstdlib>
#include <cstring>

#ifndef BENCH_DA_NAME
#error BENCH_DA_NAME must name the module
#endif

namespace {

char* Copy(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}

}  // namespace

PW_DA_EXPORT char* PW_DA_ENTRY(BENCH_DA_NAME, _sendCmd)(int, char*[]) {
    return Copy(BENCH_DA_ANSWER);
}

PW_DA_EXPORT void PW_DA_ENTRY(BENCH_DA_NAME, _freeData)(char* answer) {
    std::free(answer);
}

#ifdef BENCH_ROOT_INSTALL_PATH
PW_DA_EXPORT char* ZevGetRootInstallPath() {
    return Copy(BENCH_ROOT_INSTALL_PATH);
}

PW_DA_EXPORT void ZevGenericFree(void* block) {
    std::free(block);
}
#endif
