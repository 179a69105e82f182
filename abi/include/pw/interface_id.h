// The IID of every COM interface the system implements, known from the interface's type:
// what pw::ComObject's QueryInterface answers for. An interface with no InterfaceId (here, or
// beside an implementation base such as pw::UnsupportedWbemServices) has no IID, and an
// object implementing it does not compile.
#pragma once

#include <windows.h>

#include <unknwn.h>
#include <wbemidl.h>
#include <wmiutils.h>

#if defined(_WIN32)
#include <objidl.h>
#endif

namespace pw {

template <typename Interface>
struct InterfaceId;

#define PW_INTERFACE_ID(Interface)                          \
    template <>                                             \
    struct InterfaceId<Interface> {                         \
        static const IID& Get() { return IID_##Interface; } \
    }

PW_INTERFACE_ID(IClassFactory);
PW_INTERFACE_ID(IWbemServices);
PW_INTERFACE_ID(IWbemProviderInit);
PW_INTERFACE_ID(IWbemProviderInitSink);
PW_INTERFACE_ID(IWbemClassObject);
PW_INTERFACE_ID(IWbemObjectSink);
PW_INTERFACE_ID(IWbemPath);
PW_INTERFACE_ID(IWbemPathKeyList);
#if defined(_WIN32)
PW_INTERFACE_ID(IServerSecurity);
#endif

#undef PW_INTERFACE_ID

}  // namespace pw
