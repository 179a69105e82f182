#include "core/pipeway_provider_impl.h"

#include "core/lifecycle.h"
#include "log/trace_log.h"

#include <cstdlib>

using PipewayMgtData::PPImplStatus;
using namespace PipewayMgtData;  // the result codes

PipewayProviderImpl::PipewayProviderImpl(const std::string& userName, pw::TokenList args)
    : PipewayProviderImpl(pw::core::DefaultSharedState(), userName, std::move(args)) {}

PipewayProviderImpl::PipewayProviderImpl(pw::core::SharedState& shared, const std::string& userName,
                                         pw::TokenList args)
    : PipewayProviderImpl(ValidationOnly{}, std::move(args)) {
    m_shared = &shared;
    // The object is whole once validation has run: should authorization throw, the destructor
    // releases the argument array.
    m_userName = userName;
    if (m_status == kSuccess) {
        m_authorized = IsAuthorized();
    }
}

PipewayProviderImpl::PipewayProviderImpl(ValidationOnly, pw::TokenList args)
    : m_shared(&pw::core::DefaultSharedState()),
      m_args(std::move(args)),
      m_status(kSuccess),
      m_authorized(false) {
    m_status = IsValidOperation();
}

PipewayProviderImpl::~PipewayProviderImpl() = default;

PPImplStatus PipewayProviderImpl::ExecuteMethod(std::string& answer) {
    if (m_status != kSuccess) {
        TraceLog("PipewayProviderImpl::ExecuteMethod() - Invalid argument list\n");
        return PPImplStatus(m_status);
    }
    if (!m_authorized) {
        TraceLog("PipewayProviderImpl::ExecuteMethod() - Unauthorised user\n");
        return PPImplStatus(kNotAuthorized);
    }
    try {
        TraceLog("PipewayProviderImpl::ExecuteMethod() - About to invoke sendCmd()\n");
        const DAInfo* info = getDAInfo(m_shared->modules, m_daName);
        pw::core::RunDACmd(*info, static_cast<std::int32_t>(Argc()), m_arguments->Argv(), answer);
        return PPImplStatus(kSuccess);
    } catch (const PPImplStatus& failure) {
        TraceLog("PipewayProviderImpl::ExecuteMethod() - Error executing DA Command : %s\n",
                 failure.text.c_str());
        return failure;
    }
}
