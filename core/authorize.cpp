#include "core/pipeway_provider_impl.h"

#include "authex/auth_exception.h"
#include "core/lifecycle.h"
#include "log/trace_log.h"

#include <sstream>

using PipewayMgtData::PPImplStatus;

namespace {

constexpr std::string_view kMaskOpen = "<UserRightsMask>";
constexpr std::string_view kMaskClose = "</UserRightsMask>";

// The mask between the tags, read as formatted stream input reads an int; 0 when the tag is
// missing or no number stands after it.
std::int32_t ReadRightsMask(const std::string& answer) {
    const std::size_t open = answer.find(kMaskOpen);
    if (open == std::string::npos) {
        return 0;
    }
    const std::size_t start = open + kMaskOpen.size();
    const std::size_t close = answer.find(kMaskClose);
    const std::size_t length =
        close == std::string::npos || close < start ? std::string::npos : close - start;
    std::istringstream stream(answer.substr(start, length));
    std::int32_t mask = 0;
    if (!(stream >> mask)) {
        return 0;
    }
    return mask;
}

}  // namespace

namespace pw::core {

std::optional<std::int32_t> QueryUserRightsMask(const std::string& userName,
                                                const std::string& localLogin) {
    return QueryUserRightsMask(DefaultDACache(), userName, localLogin);
}

std::optional<std::int32_t> QueryUserRightsMask(DACache& modules, const std::string& userName,
                                                const std::string& localLogin) {
    const DAInfo* rights = nullptr;
    try {
        rights = PipewayProviderImpl::getDAInfo(modules, "rukda64");
    } catch (const PPImplStatus& failure) {
        TraceLog("PipewayProviderImpl::IsAuthorized() - Unable to load rukda : %s\n",
                 failure.text.c_str());
        return std::nullopt;
    }

    std::string query[] = {"velcmd=getuserrightsonly", "user=" + userName, localLogin,
                           "velusrmask=LoginServlet",  "program=vesko",    "makeCmdLogEntry=false"};
    char* argv[] = {query[0].data(), query[1].data(), query[2].data(),
                    query[3].data(), query[4].data(), query[5].data()};
    std::string answer;
    // The rights module runs under the provider's own identity; loading it ran under the
    // client's. Either call may fail (no client call context): the query goes ahead.
    CoRevertToSelf();
    try {
        RunDACmd(*rights, 6, argv, answer);
    } catch (...) {
        CoImpersonateClient();
        throw;
    }
    CoImpersonateClient();
    return answer.empty() ? 0 : ReadRightsMask(answer);
}

}  // namespace pw::core

bool PipewayProviderImpl::IsAuthorized() {
    const std::optional<std::int32_t> mask =
        pw::core::QueryUserRightsMask(m_shared->modules, m_userName, m_localLogin);
    if (!mask) {
        return false;
    }
    TraceLog("PipewayProviderImpl::IsAuthorized() - User %s has role: %d", m_userName.c_str(),
             *mask);
    const CSingletonAuthExceptionImpl* store =
        CSingletonAuthExceptionImpl::GetInstance(m_shared->store);
    const std::uint32_t rightsMask = static_cast<std::uint32_t>(*mask);
    const bool verdict = store != nullptr && store->IsAuthorized(m_command, m_args, rightsMask);
    TraceLog("AuthModule returned : %d for user %s\n", verdict ? 1 : 0, m_userName.c_str());
    return verdict;
}
