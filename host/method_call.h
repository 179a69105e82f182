// A call on the provider as a client makes it through the WMI service, and what the client
// sees of it. Used by pipeway, the end-to-end tests, the fuzz targets and the benchmarks.
#pragma once

#include "host/host_objects.h"
#include "pw/resources.h"

#include <wbemidl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// What the client saw of one call: the call's HRESULT, the sink's final statuses, and the
// properties of the first object handed over (absent when the property is not set).
struct CallAnswer {
    HRESULT hr = E_FAIL;
    std::vector<ObjectSink::Status> statuses;
    std::size_t objects = 0;
    std::optional<std::wstring> returnValue;
    std::optional<std::wstring> resultCode;
    std::optional<std::wstring> instanceId;
    std::optional<std::wstring> ipv4;
    std::optional<std::wstring> ipv6;
};

// Reads the answer out of the sink a call was given.
CallAnswer Collect(HRESULT hr, const ObjectSink& sink);

// "CommandAndArguments" as a client passes it: one command-line string (which may hold null
// characters), or one token per element.
void SetStringInput(pw::UniqueVariant& input, std::wstring_view text);
void SetArrayInput(pw::UniqueVariant& input, const std::vector<std::wstring>& tokens);

// Wraps the provider's own call, inside the client's call context: a test arms fault
// injection there, or checks the thread's state before the context ends.
using CallWrapper = std::function<HRESULT(const std::function<HRESULT()>&)>;

// One method call's fixed parts, made once: the object path, the method name and the
// in-parameter object, spawned from the class definition's signature of `method` (of
// ExecuteCommand when the class has no such method).
class MethodCall {
  public:
    // A null `input` leaves "CommandAndArguments" unset; without `withInParams` the call gets
    // no in-parameter object at all.
    MethodCall(ClassObject* definition, std::wstring_view path, const WCHAR* method,
               const VARIANT* input, bool withInParams = true);

    // ExecMethodAsync on `provider` for `client` (DOMAIN\user) at impersonation `level`, with
    // a fresh sink (or none).
    CallAnswer Call(IWbemServices* provider, const std::wstring& client, DWORD level,
                    bool withSink = true, const CallWrapper& wrapper = {}) const;
    // The same with the caller's sink (may be null); only the call's HRESULT.
    HRESULT Invoke(IWbemServices* provider, const std::wstring& client, DWORD level,
                   IWbemObjectSink* sink, const CallWrapper& wrapper = {}) const;

  private:
    pw::UniqueBstr m_path;
    pw::UniqueBstr m_method;
    pw::ComPtr<IWbemClassObject> m_inParams;
};

}  // namespace host
