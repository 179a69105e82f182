#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace PipewayMgtData {

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
