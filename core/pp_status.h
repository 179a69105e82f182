#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace PipewayMgtData {

// The status codes a request ends with; the client reads them as "ResultCode".
enum ResultCode : std::int32_t {
    kSuccess = 0,
    kNoTokens = 7,         // the command-line string cannot be cut into tokens
    kCacheLockFailed = 8,  // the DA module cache's lock cannot be taken
    kNotEnoughArguments = 100,
    kNoDaName = 101,
    kUnknownDaName = 102,
    kNoVelCommand = 103,
    kSyntaxError = 104,     // a token without "=", or a second "daname" or "velcmd"
    kModuleUnusable = 105,  // the DA module cannot be loaded or lacks an export
    kNotAuthorized = 200,
};

// The command core's status: returned by value, and thrown by the DA module loader.
class PPImplStatus {
  public:
    explicit PPImplStatus(std::int32_t statusCode) : code(statusCode) {}
    PPImplStatus(std::int32_t statusCode, std::string statusText)
        : code(statusCode), text(std::move(statusText)) {}

    std::int32_t code;
    std::string text;
};

}  // namespace PipewayMgtData
