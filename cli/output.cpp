#include "cli/output.h"

#include "cli/common.h"
#include "pw/resources.h"
#include "pw/text.h"

#include <wbemidl.h>

#include <cstdio>
#include <map>

namespace pipeway {

std::string Narrow(const std::wstring& wide) {
    return pw::Narrow(wide.c_str(), CP_UTF8).value_or(std::string());
}

std::wstring Widen(const std::string& text) {
    return pw::Widen(text.c_str(), CP_UTF8).value_or(std::wstring());
}

void PrintJson(const nlohmann::ordered_json& object) {
    std::printf(
        "%s\n",
        object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string ResultName(HRESULT hr) {
    static const std::map<HRESULT, const char*> names = {
        {S_OK, "S_OK"},
        {pw::Hr(WBEM_E_FAILED), "WBEM_E_FAILED"},
        {pw::Hr(WBEM_E_NOT_FOUND), "WBEM_E_NOT_FOUND"},
        {pw::Hr(WBEM_E_ACCESS_DENIED), "WBEM_E_ACCESS_DENIED"},
        {pw::Hr(WBEM_E_PROVIDER_FAILURE), "WBEM_E_PROVIDER_FAILURE"},
        {pw::Hr(WBEM_E_OUT_OF_MEMORY), "WBEM_E_OUT_OF_MEMORY"},
        {pw::Hr(WBEM_E_INVALID_PARAMETER), "WBEM_E_INVALID_PARAMETER"},
        {pw::Hr(WBEM_E_NOT_SUPPORTED), "WBEM_E_NOT_SUPPORTED"},
        {pw::Hr(WBEM_E_PROVIDER_NOT_CAPABLE), "WBEM_E_PROVIDER_NOT_CAPABLE"},
        {pw::Hr(WBEM_E_INVALID_METHOD), "WBEM_E_INVALID_METHOD"},
        {pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS), "WBEM_E_INVALID_METHOD_PARAMETERS"},
        {pw::Hr(WBEM_E_INVALID_OBJECT_PATH), "WBEM_E_INVALID_OBJECT_PATH"},
        {pw::Hr(WBEM_E_QUOTA_VIOLATION), "WBEM_E_QUOTA_VIOLATION"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {RPC_E_CALL_COMPLETE, "RPC_E_CALL_COMPLETE"},
    };
    const auto found = names.find(hr);
    return found == names.end() ? "" : found->second;
}

int ReportFailure(HRESULT hr, bool json) {
    if (json) {
        PrintJson({{"hresult", HexResult(hr)}});
    } else {
        const std::string name = ResultName(hr);
        std::printf("call failed: %s%s%s\n", HexResult(hr).c_str(), name.empty() ? "" : " ",
                    name.c_str());
    }
    return kExitCallFailed;
}

}  // namespace pipeway
