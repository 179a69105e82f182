// The one mapping of an exception to an HRESULT, used at every ABI entry point: no exception
// crosses a COM method, an export or a platform interface. Each family of entry points answers
// with its own codes; which exception means what is decided here, once.
#pragma once

#include <wbemidl.h>
#include <windows.h>

#include <exception>
#include <new>

namespace pw {

struct FailureCodes {
    HRESULT outOfMemory;  // std::bad_alloc
    HRESULT failed;       // another standard exception
    HRESULT other;        // anything else
};

// COM's codes: the library's exports and its class factory.
inline constexpr FailureCodes kComFailures = {E_OUTOFMEMORY, E_FAIL, E_UNEXPECTED};
// WMI's codes: the provider's IWbemServices and IWbemProviderInit methods and the object-path
// parser. In the provider, what is not a standard exception is a status of the command core,
// thrown when a DA module the operation needed cannot be used.
inline constexpr FailureCodes kWbemFailures = {static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY),
                                               static_cast<HRESULT>(WBEM_E_FAILED),
                                               static_cast<HRESULT>(WBEM_E_PROVIDER_FAILURE)};

// The code for the exception being handled; call it only inside a catch block.
inline HRESULT CurrentExceptionToHResult(const FailureCodes& codes) noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return codes.outOfMemory;
    } catch (const std::exception&) {
        return codes.failed;
    } catch (...) {
        return codes.other;
    }
}

// Runs the body of an ABI entry point: what it returns, or the code for what it throws.
template <typename Body>
HRESULT Guarded(const FailureCodes& codes, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return CurrentExceptionToHResult(codes);
    }
}

}  // namespace pw
