#include "core/address_queries.h"

#include "core/da_cache.h"
#include "core/pipeway_provider_impl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kIPv4BufferSize = 255;
constexpr std::size_t kIPv6BufferSize = 257;
// The two IPv6 addresses and their ";" never exceed this, whatever the buffer's size.
constexpr std::size_t kIPv6MaxText = 255;

// The text between a tag pair: from after the first opening tag to the first closing tag of
// the answer, or to the end when that tag is missing or stands before. Absent without the
// opening tag.
bool TagText(const std::string& answer, std::string_view open, std::string_view close,
             std::string_view& text) {
    const std::size_t start = answer.find(open);
    if (start == std::string::npos) {
        return false;
    }
    const std::size_t from = start + open.size();
    const std::size_t end = answer.find(close);
    const std::string_view all(answer);
    text = end == std::string::npos || end < from ? all.substr(from) : all.substr(from, end - from);
    return true;
}

// Runs one fixed address query through "tarda64" and returns the answer.
std::string QueryAddressModule(pw::core::DACache& modules, const char* objectType) {
    const DAInfo& tarda = *PipewayProviderImpl::getDAInfo(modules, "tarda64");
    std::string query[] = {"velcmd=getchildlist", "ons=Root", objectType};
    char* argv[] = {query[0].data(), query[1].data(), query[2].data()};
    std::string answer;
    pw::core::RunDACmd(tarda, 3, argv, answer);
    return answer;
}

}  // namespace

namespace pw::core {

char* GetIPv4Address() {
    return GetIPv4Address(DefaultDACache());
}

char* GetIPv6Addresses() {
    return GetIPv6Addresses(DefaultDACache());
}

char* GetIPv4Address(DACache& modules) {
    const std::string answer = QueryAddressModule(modules, "byobjtype=322");
    char* buffer = static_cast<char*>(std::calloc(kIPv4BufferSize, 1));
    if (buffer == nullptr) {
        return nullptr;
    }
    std::string_view address;
    if (TagText(answer, "<IPAddress>", "</IPAddress>", address)) {
        std::memcpy(buffer, address.data(), std::min(address.size(), kIPv4BufferSize - 1));
    }
    return buffer;
}

char* GetIPv6Addresses(DACache& modules) {
    const std::string answer = QueryAddressModule(modules, "byobjtype=417");
    char* buffer = static_cast<char*>(std::calloc(kIPv6BufferSize, 1));
    if (buffer == nullptr) {
        return nullptr;
    }
    std::size_t length = 0;
    std::string_view address;
    if (TagText(answer, "<GLAddress>", "</GLAddress>", address)) {
        length = std::min(address.size(), kIPv6MaxText);
        std::memcpy(buffer, address.data(), length);
    }
    if (TagText(answer, "<SLAddress>", "</SLAddress>", address)) {
        buffer[length++] = ';';
        const std::size_t room = length < kIPv6MaxText ? kIPv6MaxText - length : 0;
        const std::size_t taken = std::min(address.size(), room);
        std::memcpy(buffer + length, address.data(), taken);
    }
    return buffer;
}

}  // namespace pw::core
