// A sample address module: "tarda64" answers the address queries with this machine's own
// addresses, read from the operating system. It knows one command, velcmd=getchildlist, and
// two object types: byobjtype=322 gives the first IPv4 address that is not a loopback one, 417
// the first global and the first link-local IPv6 address. Anything else gets an error: the
// exclusion policy refuses by command and token, so a module that answered a token under any
// command would give what the policy refuses under the command it names.
#include "samples/modules/sample_module.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <vector>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

namespace {

struct Addresses {
    std::string ipv4;
    std::string global;
    std::string linkLocal;
};

void Consider(const sockaddr* address, Addresses& found) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET && found.ipv4.empty()) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        if ((ntohl(v4->sin_addr.s_addr) >> 24) != 127 &&
            inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) != nullptr) {
            found.ipv4 = text;
        }
    } else if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) ||
            inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text) == nullptr) {
            return;
        }
        std::string& slot = IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr) ? found.linkLocal : found.global;
        if (slot.empty()) {
            slot = text;
        }
    }
}

Addresses MachineAddresses() {
    Addresses found;
#if defined(_WIN32)
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_UNSPEC, 0, nullptr, adapters, &size) == NO_ERROR) {
        for (auto* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
            for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
                 unicast = unicast->Next) {
                Consider(unicast->Address.lpSockaddr, found);
            }
        }
    }
#else
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr != nullptr) {
                Consider(entry->ifa_addr, found);
            }
        }
        freeifaddrs(list);
    }
#endif
    return found;
}

}  // namespace

PW_DA_EXPORT char* tarda64_sendCmd(int argc, char* argv[]) {
    if (sample::Value(argc, argv, "velcmd") != "getchildlist") {
        return sample::Answer("<Error>unknown command</Error>");
    }
    const std::string objectType = sample::Value(argc, argv, "byobjtype");
    const Addresses addresses = MachineAddresses();
    if (objectType == "322") {
        return sample::Answer("<ChildList><Object><IPAddress>" + addresses.ipv4 +
                              "</IPAddress></Object></ChildList>");
    }
    if (objectType == "417") {
        return sample::Answer("<ChildList><Object><GLAddress>" + addresses.global +
                              "</GLAddress><SLAddress>" + addresses.linkLocal +
                              "</SLAddress></Object></ChildList>");
    }
    return sample::Answer("<Error>unknown object type</Error>");
}

PW_DA_EXPORT void tarda64_freeData(char* answer) {
    std::free(answer);
}
