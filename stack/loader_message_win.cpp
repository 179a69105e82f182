#include "pw/stack_layout.h"

#include "pw/text.h"

namespace pw::stack {

std::string LoaderMessage(DWORD error) {
    WCHAR* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<WCHAR*>(&text), 0, nullptr);
    std::wstring message(text == nullptr ? L"" : text, text == nullptr ? 0 : length);
    LocalFree(text);
    // The system's messages end with a full stop and a line break.
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return pw::Narrow(message, CP_ACP).value_or("");
}

}  // namespace pw::stack
