#include "pipeway_provider_impl.h"

#include "trace_log.h"

#include <cstring>

namespace {

constexpr char kManglePrefix[] = "$$manglevalue=";
constexpr std::size_t kManglePrefixLength = sizeof kManglePrefix - 1;
constexpr char kDecodedPrefix[] = "value=";
constexpr std::size_t kDecodedPrefixLength = sizeof kDecodedPrefix - 1;
constexpr std::size_t kWorkBufferSize = 256;
// "value=", one byte per triplet and the terminating zero must fit the work buffer.
constexpr std::size_t kMaxEncodedLength = (kWorkBufferSize - kDecodedPrefixLength - 1) * 3;

// Rewrites "$$manglevalue=<digit triplets>" as "value=<bytes>" in place. Each triplet is
// ((d1 * 10 + d2) * 10 + d3) modulo 256 with d the character code minus '0'; the digits are
// not checked, and a decoded zero byte ends the value.
void DecodeMangledValue(char* entry) {
    if (std::strncmp(entry, kManglePrefix, kManglePrefixLength) != 0) {
        return;
    }
    const char* encoded = entry + kManglePrefixLength;
    const std::size_t length = std::strlen(encoded);
    if (length % 3 != 0 || length > kMaxEncodedLength) {
        TraceLog("Count Value exceeds Buffer/ not multiple of 3 :%d\n", static_cast<int>(length));
        return;
    }
    char work[kWorkBufferSize] = {};
    std::memcpy(work, kDecodedPrefix, kDecodedPrefixLength);
    for (std::size_t i = 0; i < length / 3; ++i) {
        unsigned char byte = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const auto digit = static_cast<unsigned char>(encoded[i * 3 + k] - '0');
            byte = static_cast<unsigned char>(byte * 10 + digit);
        }
        work[kDecodedPrefixLength + i] = static_cast<char>(byte);
    }
    std::strcpy(entry, work);  // the decoded form is always shorter than the encoded one
}

}  // namespace

void RunDACmd(const DAInfo& info, std::int32_t argc, char** argv, std::string& answer) {
    if (argc > 2 && argv[2] != nullptr) {
        DecodeMangledValue(argv[2]);
    }
    char* response = info.sendCmd(argc, argv);
    if (response == nullptr) {
        TraceLog("DACmd Response : Empty\n");
        answer.clear();
        return;
    }
    TraceLog("DACmd Response :%s\n", response);
    try {
        answer.assign(response);
    } catch (...) {
        info.freeData(response);
        throw;
    }
    info.freeData(response);
}
