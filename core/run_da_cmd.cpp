#include "core/pipeway_provider_impl.h"

#include "log/trace_log.h"

#include <cstring>

namespace {

constexpr char kManglePrefix[] = "$$manglevalue=";
constexpr std::size_t kManglePrefixLength = sizeof kManglePrefix - 1;
constexpr char kDecodedPrefix[] = "value=";
constexpr std::size_t kDecodedPrefixLength = sizeof kDecodedPrefix - 1;
// The decoding's work buffer: "value=", one byte per triplet and the terminating zero.
constexpr std::size_t kWorkBufferSize = 256;
constexpr std::size_t kMaxEncodedLength = (kWorkBufferSize - kDecodedPrefixLength - 1) * 3;

}  // namespace

namespace pw::core {

Mangled DecodeMangledEntry(std::string_view entry, std::string& decoded) {
    if (entry.substr(0, kManglePrefixLength) != kManglePrefix) {
        return Mangled::kNot;
    }
    // Up to the first NUL, as the module would read the entry.
    const std::string_view encoded =
        entry.substr(kManglePrefixLength, entry.find('\0') - kManglePrefixLength);
    if (encoded.size() % 3 != 0 || encoded.size() > kMaxEncodedLength) {
        return Mangled::kInvalid;
    }
    // Each triplet is ((d1 * 10 + d2) * 10 + d3) modulo 256 with d the character code minus
    // '0'; the digits are not checked, and a decoded zero byte ends the value.
    decoded.assign(kDecodedPrefix);
    for (std::size_t i = 0; i < encoded.size() / 3; ++i) {
        unsigned char value = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const auto digit = static_cast<unsigned char>(encoded[i * 3 + k] - '0');
            value = static_cast<unsigned char>(value * 10 + digit);
        }
        if (value == 0) {
            break;
        }
        decoded += static_cast<char>(value);
    }
    return Mangled::kDecoded;
}

void RunDACmd(const DAInfo& info, std::int32_t argc, char** argv, std::string& answer) {
    if (argc > 2 && argv[2] != nullptr) {
        // The third entry is rewritten in place: the decoded form is always shorter.
        std::string decoded;
        const Mangled mangled = DecodeMangledEntry(argv[2], decoded);
        if (mangled == Mangled::kInvalid) {
            TraceLog("Count Value exceeds Buffer/ not multiple of 3 :%d\n",
                     static_cast<int>(std::strlen(argv[2]) - kManglePrefixLength));
        } else if (mangled == Mangled::kDecoded) {
            std::memcpy(argv[2], decoded.c_str(), decoded.size() + 1);
        }
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

}  // namespace pw::core
