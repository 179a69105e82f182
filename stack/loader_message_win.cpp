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
    // A message that names its file ("%1 is not a valid Win32 application") is asked for
    // without one.
    for (std::size_t at = message.find(L"%1"); at != std::wstring::npos; at = message.find(L"%1")) {
        message.replace(at, 2, L"the file");
    }
    return pw::Narrow(message, CP_ACP).value_or("");
}

}  // namespace pw::stack
