// Mangled-value decoding in RunDACmd, against the echo test DA module, which answers with
// the array it received.
//
// Input: the first byte's low bit puts "$$manglevalue=" in front of the third entry; the rest
// is the array, its entries separated by line feeds.
#include "fuzz/support/fuzz_support.h"

#include "core/pipeway_provider_impl.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::string_view kManglePrefix = "$$manglevalue=";

pwfuzz::TestDA* g_module = nullptr;
const DAInfo* g_info = nullptr;

// The third entry as the module must receive it: "$$manglevalue=" and digit triplets become
// "value=" and one byte per triplet (modulo 256, up to a zero byte) while that fits 256 bytes.
std::string Decoded(std::string_view entry) {
    if (entry.substr(0, kManglePrefix.size()) != kManglePrefix) {
        return std::string(entry);
    }
    const std::string_view encoded = entry.substr(kManglePrefix.size());
    if (encoded.size() % 3 != 0 || encoded.size() > 747) {
        return std::string(entry);
    }
    std::string value = "value=";
    for (std::size_t i = 0; i < encoded.size(); i += 3) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            byte = byte * 10 + static_cast<unsigned char>(encoded[i + k]) - '0';
        }
        if ((byte & 0xFF) == 0) {
            break;
        }
        value += static_cast<char>(byte & 0xFF);
    }
    return value;
}

struct Array {
    std::vector<char*> entries;
    ~Array() {
        for (char* entry : entries) {
            std::free(entry);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pwfuzz::AttachCore();
    pwfuzz::TraceToNull();
    pwfuzz::UseTestDAModules();
    g_module = new pwfuzz::TestDA("lumda64");
    g_info = PipewayProviderImpl::getDAInfo("lumda64");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return -1;
    }
    const bool mangle = (data[0] & 1) != 0;
    std::vector<std::string> pieces =
        pwfuzz::Split(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), '\n');
    if (mangle && pieces.size() > 2) {
        pieces[2].insert(0, kManglePrefix);
    }

    // Each entry a separate writable heap block, as a request's array is.
    Array array;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        char* entry = static_cast<char*>(std::calloc(pieces[i].size() + 1, 1));
        PW_FUZZ_CHECK(entry != nullptr);
        std::memcpy(entry, pieces[i].data(), pieces[i].size());
        array.entries.push_back(entry);
        const std::string_view seen(entry);  // up to a NUL byte, as the module reads it
        expected.push_back(i == 2 ? Decoded(seen) : std::string(seen));
    }

    std::string answer = "untouched";
    pw::core::RunDACmd(*g_info, static_cast<std::int32_t>(array.entries.size()),
                       array.entries.data(), answer);

    std::string echo;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        PW_FUZZ_CHECK(std::string_view(array.entries[i]) == expected[i]);
        echo += (i > 0 ? "\n" : "") + expected[i];
    }
    PW_FUZZ_CHECK(answer == echo);
    PW_FUZZ_CHECK(g_module->Outstanding() == 0 && g_module->BadFrees() == 0);
    return 0;
}
