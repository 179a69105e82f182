#include "cli/module_check.h"

#include <windows.h>

#include <cctype>

namespace pipeway {

std::string LoaderError(const std::filesystem::path&) {
    const DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text == nullptr ? "" : text;
    LocalFree(text);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back()))) {
        message.pop_back();
    }
    return (message.empty() ? "" : message + " ") + "(error " + std::to_string(code) + ")";
}

void QuietLoaderErrors() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace pipeway
