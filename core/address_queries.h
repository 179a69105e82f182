// The management controller's addresses, read through the address module "tarda64" under the
// caller's identity.
#pragma once

namespace pw::core {

struct DACache;

// Each asks "tarda64" of `modules` (without it, the default state's) and returns a zero-filled
// calloc block the caller frees, or null when it cannot be allocated; both throw PPImplStatus when
// the module cannot be used. GetIPv4Address: the IPv4 address, at most 254 characters.
char* GetIPv4Address(DACache& modules);
char* GetIPv4Address();
// GetIPv6Addresses: the first address, ";" and the second, at most 255 characters together
// (the ";" only when the second is there).
char* GetIPv6Addresses(DACache& modules);
char* GetIPv6Addresses();

}  // namespace pw::core
