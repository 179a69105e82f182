#include "provider/provider_object.h"

#define SECURITY_WIN32
#include <security.h>

#include "core/pipeway_provider_impl.h"
#include "core/lifecycle.h"
#include "log/trace_log.h"

#include <wmiutils.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using PipewayMgtData::PPImplStatus;

namespace {

constexpr char kFunctionName[] = "CWMIPipewayProvider::ExecMethodAsync";
constexpr DWORD kMoreData = 234;

// The longest command line served, in bytes of narrow text (a string, or an array's elements
// together, each counted as its length and one separator, so that many empty elements are
// bounded as a string of as many separators is). Far beyond any real command (a certificate upload
// is a few KiB), it bounds what one call can make the host allocate and read; a longer one fails
// the call with WBEM_E_QUOTA_VIOLATION before any of it is cut into tokens. The Parts set no bound.
constexpr std::size_t kMaxCommandLine = std::size_t{16} << 20;

HRESULT CommandLineTooLong() {
    TraceLog("Error : CommandAndArguments longer than %lu bytes\n",
             static_cast<unsigned long>(kMaxCommandLine));
    return pw::Hr(WBEM_E_QUOTA_VIOLATION);
}

// Whether wide text, up to its first null character, is longer than the bound allows: each
// character becomes at least one byte.
bool WideTooLong(const WCHAR* wide) {
    if (wide == nullptr) {
        return false;
    }
    for (std::size_t i = 0; i <= kMaxCommandLine; ++i) {
        if (wide[i] == L'\0') {
            return false;
        }
    }
    return true;
}

// Wide text, up to its first null character, in the system's ANSI code page; a null string,
// or one that does not convert, is an empty one.
std::string ToAnsi(const WCHAR* wide) {
    return wide == nullptr ? std::string() : pw::Narrow(wide, CP_ACP).value_or(std::string());
}

HRESULT PutString(IWbemClassObject* object, const WCHAR* name, const WCHAR* text) {
    pw::UniqueVariant value;
    value.get()->vt = VT_BSTR;
    value.get()->bstrVal = SysAllocString(text);
    if (value.get()->bstrVal == nullptr) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    return object->Put(name, 0, value.get(), 0);
}

}  // namespace

HRESULT CWMIPipewayProvider::StatusToHResult(std::int32_t code) {
    // Tokenising fails only with 7.
    return code == PipewayMgtData::kNoTokens ? pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS)
                                             : pw::Hr(WBEM_E_FAILED);
}

char* CWMIPipewayProvider::GetCallerUserName() {
    ULONG size = 0;
    GetUserNameExW(NameSamCompatible, nullptr, &size);
    const DWORD probe = GetLastError();
    if (probe != kMoreData) {
        TraceLog("Error Getting User Name : %d", static_cast<int>(probe));
        return nullptr;
    }
    std::vector<WCHAR> wide(size + 1, L'\0');
    if (!GetUserNameExW(NameSamCompatible, wide.data(), &size)) {
        TraceLog("Error again Getting UserName : %d", static_cast<int>(GetLastError()));
        return nullptr;
    }
    const int length = static_cast<int>(size);
    const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                           nullptr, 0, nullptr, nullptr);
    // A name that converts to nothing (an empty one, or a code page that refuses the flag) is no
    // name: the rights module must never be asked about "user=".
    if (needed <= 0) {
        return nullptr;
    }
    char* name = static_cast<char*>(std::malloc(static_cast<std::size_t>(needed) + 1));
    if (name == nullptr) {
        return nullptr;
    }
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, name, needed,
                            nullptr, nullptr) != needed) {
        std::free(name);
        return nullptr;
    }
    name[needed] = '\0';
    return name;
}

int CWMIPipewayProvider::FillOutParams(IWbemClassObject* outParams, const char* answer,
                                       std::int32_t code) {
    if (answer != nullptr) {
        const std::size_t length = std::strlen(answer);
        std::vector<WCHAR> wide;
        try {
            // Never more UTF-16 (or UTF-32) units than bytes, plus the terminator.
            wide.assign(length + 2, L'\0');
        } catch (const std::bad_alloc&) {
            return -1;
        }
        MultiByteToWideChar(CP_UTF8, 0, answer, -1, wide.data(), static_cast<int>(wide.size()));
        PutString(outParams, L"ReturnValue", wide.data());
    }
    std::wstring text;
    try {
        text = std::to_wstring(code);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    PutString(outParams, L"ResultCode", text.c_str());
    return 0;
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::ExecMethodAsync(const BSTR path, const BSTR method,
                                                               LONG, IWbemContext*,
                                                               IWbemClassObject* inParams,
                                                               IWbemObjectSink* sink) {
    const ClientOperation operation{true, "--> CWMIPipewayProvider::ExecMethodAsyn()\n",
                                    "Error : Couldn't Impersonate the Client\n",
                                    "CWMIPipewayProvider::ExecMethodAsync"};
    return ServeAsClient(
        operation, [&](ClientImpersonation& client, pw::core::SharedState* shared) {
            return ExecMethodAsClient(client, *shared, path, method, inParams, sink);
        });
}

namespace {

// One element of a string array. An element the array cannot give fails the call: for want
// of memory with WBEM_E_OUT_OF_MEMORY, otherwise as an invalid array.
HRESULT ArrayElement(SAFEARRAY* array, LONG index, pw::UniqueBstr& element) {
    const HRESULT hr = SafeArrayGetElement(array, &index, element.put());
    if (SUCCEEDED(hr)) {
        return hr;
    }
    TraceLog("Error: Invalid Array \n");
    return hr == E_OUTOFMEMORY ? pw::Hr(WBEM_E_OUT_OF_MEMORY)
                               : pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS);
}

// The tokens of a string array of more than one element, one element each.
HRESULT ArrayTokens(SAFEARRAY* array, LONG lower, LONG upper, pw::TokenList& tokens) {
    pw::UniqueBstr element;
    // Counted in 64 bits: an upper bound of LONG_MAX ends the walk instead of wrapping around.
    std::size_t total = 0;
    if (static_cast<long long>(upper) - lower + 1 > static_cast<long long>(kMaxCommandLine)) {
        return CommandLineTooLong();
    }
    for (long long index = lower; index <= upper; ++index) {
        const HRESULT hr = ArrayElement(array, static_cast<LONG>(index), element);
        if (FAILED(hr)) {
            return hr;
        }
        if (WideTooLong(element.get())) {
            return CommandLineTooLong();
        }
        std::string token = ToAnsi(element.get());
        total += token.size() + 1;
        if (total > kMaxCommandLine) {
            return CommandLineTooLong();
        }
        pw::core::TrimWhitespace(token);
        TraceLog("Pwy: %s CommanAndArguments[index]=%s\n", kFunctionName, token.c_str());
        tokens.push_back(token);
    }
    return pw::Hr(WBEM_S_NO_ERROR);
}

// The token vector from the "CommandAndArguments" value; fails with the call's HRESULT. The
// value is released as soon as a command-line string has been converted: the wide text need
// not wait beside its tokens.
HRESULT TokensFromInput(pw::UniqueVariant& value, pw::TokenList& tokens) {
    const VARIANT& input = *value;
    const auto split = [&tokens](const WCHAR* wide, auto&& release) {
        if (WideTooLong(wide)) {
            return CommandLineTooLong();
        }
        std::string text = ToAnsi(wide);
        release();
        if (text.size() > kMaxCommandLine) {
            return CommandLineTooLong();
        }
        pw::core::TrimWhitespace(text);
        TraceLog("Pwy: %s CommanAndArguments=%s\n", kFunctionName, text.c_str());
        const PPImplStatus status = PipewayProviderImpl::ConvertStrToVec(text, tokens);
        if (status.code != PipewayMgtData::kSuccess) {
            TraceLog("Error : Formatting input arguments\n");
            return CWMIPipewayProvider::StatusToHResult(status.code);
        }
        return pw::Hr(WBEM_S_NO_ERROR);
    };

    if (input.vt == VT_BSTR) {
        TraceLog("Pwy: %s String Input\n", kFunctionName);
        return split(input.bstrVal, [&value] { value.reset(); });
    }
    if (input.vt != (VT_ARRAY | VT_BSTR)) {
        TraceLog("Unknown VT_TYPE : %d\n", static_cast<int>(input.vt));
        return pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS);
    }
    TraceLog("%s : Array Input\n", kFunctionName);
    SAFEARRAY* array = input.parray;
    if (array == nullptr || SafeArrayGetDim(array) != 1) {
        TraceLog("Error: Invalid Array dimension\n");
        return pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS);
    }
    LONG lower = 0;
    LONG upper = 0;
    // The array must hold what the variant says it holds: elements of another type would be
    // copied into string handles.
    VARTYPE elementType = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &elementType)) || elementType != VT_BSTR ||
        FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        TraceLog("Error: Invalid Array \n");
        return pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS);
    }
    pw::UniqueBstr element;
    if (lower == 0 && upper == 0) {
        const HRESULT hr = ArrayElement(array, 0, element);
        return FAILED(hr) ? hr : split(element.get(), [&element, &value] {
            element.reset();
            value.reset();
        });
    }
    return ArrayTokens(array, lower, upper, tokens);
}

}  // namespace

HRESULT CWMIPipewayProvider::CheckClassPath(const BSTR path) {
    pw::UniqueBstr className(g_className);
    if (!className) {
        TraceLog("Error : Out of Memory!\n");
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    const HRESULT hr = m_providerHelper
                           ? m_providerHelper->ValidateInstancePath(
                                 m_pathParserFactory.get(), path, className.get(),
                                 WBEMPATH_INFO_IS_CLASS_REF | WBEMPATH_INFO_IS_INST_REF)
                           : pw::Hr(WBEM_E_INVALID_PARAMETER);
    if (FAILED(hr)) {
        TraceLog("Error : Invalid Class Name\n");
    }
    return hr;
}

HRESULT CWMIPipewayProvider::OutParamsFor(const BSTR method,
                                          pw::ComPtr<IWbemClassObject>& outParams) {
    pw::ComPtr<IWbemClassObject> outSignature;
    HRESULT hr = m_classDef ? m_classDef->GetMethod(method, 0, nullptr, outSignature.put())
                            : pw::Hr(WBEM_E_INVALID_METHOD);
    if (FAILED(hr) || !outSignature) {
        TraceLog("Error: Invalid Method Name\n");
        return pw::Hr(WBEM_E_INVALID_METHOD);
    }
    hr = outSignature->SpawnInstance(0, outParams.put());
    if (FAILED(hr) || !outParams) {
        return FAILED(hr) ? hr : pw::Hr(WBEM_E_FAILED);
    }
    return hr;
}

HRESULT CWMIPipewayProvider::RunRequest(ClientImpersonation& client, pw::core::SharedState& shared,
                                        const std::string& userName, pw::TokenList tokens,
                                        IWbemClassObject* outParams) {
    PipewayProviderImpl request(shared, userName, std::move(tokens));
    std::string answer;
    HRESULT hr = client.Revert();
    if (FAILED(hr)) {
        return hr;
    }
    const PPImplStatus status = request.ExecuteMethod(answer);
    hr = client.Resume();
    if (FAILED(hr)) {
        return hr;
    }
    if (status.code != PipewayMgtData::kSuccess) {
        FillOutParams(outParams, nullptr, status.code);
    } else if (FillOutParams(outParams, answer.c_str(), 0) == -1) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    return S_OK;
}

HRESULT CWMIPipewayProvider::ExecMethodAsClient(ClientImpersonation& client,
                                                pw::core::SharedState& shared, const BSTR path,
                                                const BSTR method, IWbemClassObject* inParams,
                                                IWbemObjectSink* sink) {
    // Without a sink nobody could receive the answer: nothing is run.
    if (sink == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    HRESULT hr = CheckClassPath(path);
    if (FAILED(hr)) {
        return hr;
    }
    pw::UniqueVariant input;
    hr = inParams != nullptr
             ? inParams->Get(L"CommandAndArguments", 0, input.get(), nullptr, nullptr)
             : pw::Hr(WBEM_E_INVALID_PARAMETER);
    if (FAILED(hr)) {
        TraceLog("Error : CommandAndArguments not found as part of input\n");
        return hr;
    }
    const pw::UniqueFree<char> callerName(GetCallerUserName());
    if (!callerName) {
        TraceLog("Error : Couldn't get Username from the current Thread context\n");
        return pw::Hr(WBEM_E_FAILED);
    }
    const std::string userName = callerName.get();
    pw::TokenList tokens;
    hr = TokensFromInput(input, tokens);
    if (FAILED(hr)) {
        return hr;
    }
    input.reset();  // the tokens hold all of it now: the copy need not wait for the command

    pw::ComPtr<IWbemClassObject> instance;
    hr = GetInstanceForPath(path, instance.put());
    if (FAILED(hr)) {
        TraceLog("Error: Invalid Object Path\n");
        return hr;
    }
    pw::ComPtr<IWbemClassObject> outParams;
    hr = OutParamsFor(method, outParams);
    if (SUCCEEDED(hr)) {
        hr = RunRequest(client, shared, userName, std::move(tokens), outParams.get());
    }
    if (FAILED(hr)) {
        return hr;
    }
    IWbemClassObject* indicated = outParams.get();
    const HRESULT indicateResult = sink->Indicate(1, &indicated);
    return sink->SetStatus(WBEM_STATUS_COMPLETE, indicateResult, nullptr, nullptr);
}
