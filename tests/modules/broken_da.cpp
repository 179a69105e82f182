// The DA module "pexda64" broken the ways a module author breaks one, one variant per build
// (see CMakeLists.txt): exports in another case (BROKEN_CASE), exports without C linkage
// (BROKEN_LINKAGE), or a call into something the loader cannot resolve (BROKEN_UNRESOLVED).
// Built without a variant it is a good module, which the build names with a "lib" prefix. With
// ANSWER_SIZES it is good too, and answers "velcmd=nothing" with no answer and "velcmd=huge" with
// two mebibytes.
#include <pipeway/da_contract.h>

#include <cstdlib>
#include <cstring>

namespace {

char* Answer() {
    char* answer = static_cast<char*>(std::malloc(8));
    if (answer != nullptr) {
        std::strcpy(answer, "<Ok/>");
    }
    return answer;
}

}  // namespace

#if defined(BROKEN_UNRESOLVED)
// Defined nowhere the loader looks: on POSIX an undefined symbol, on Windows an import from a
// library that is not shipped beside the module.
#if defined(_WIN32)
extern "C" __declspec(dllimport) void pw_broken_nowhere();
#else
extern "C" void pw_broken_nowhere();
#endif
#endif

#if defined(BROKEN_CASE)
PW_DA_EXPORT char* PEXDA64_sendCmd(int, char**) {
    return Answer();
}
PW_DA_EXPORT void PEXDA64_freeData(char* answer) {
    std::free(answer);
}
#elif defined(BROKEN_LINKAGE)
#if defined(_WIN32)
#define PW_CXX_EXPORT __declspec(dllexport)
#else
#define PW_CXX_EXPORT __attribute__((visibility("default")))
#endif
PW_CXX_EXPORT char* pexda64_sendCmd(int, char**) {
    return Answer();
}
PW_CXX_EXPORT void pexda64_freeData(char* answer) {
    std::free(answer);
}
#elif defined(ANSWER_SIZES)
PW_DA_EXPORT char* pexda64_sendCmd(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "velcmd=nothing") == 0) {
            return nullptr;
        }
        if (std::strcmp(argv[i], "velcmd=huge") == 0) {
            constexpr std::size_t kHuge = 2 << 20;
            char* answer = static_cast<char*>(std::malloc(kHuge + 1));
            if (answer != nullptr) {
                std::memset(answer, 'x', kHuge);
                answer[kHuge] = '\0';
            }
            return answer;
        }
    }
    return Answer();
}
PW_DA_EXPORT void pexda64_freeData(char* answer) {
    std::free(answer);
}
#else
PW_DA_EXPORT char* pexda64_sendCmd(int, char**) {
#if defined(BROKEN_UNRESOLVED)
    pw_broken_nowhere();
#endif
    return Answer();
}
PW_DA_EXPORT void pexda64_freeData(char* answer) {
    std::free(answer);
}
#endif
