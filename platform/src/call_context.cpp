// The client call context of each thread (what COM keeps for a call on Windows), and what
// answers from it: impersonation, the thread's token and the user name.
#define SECURITY_WIN32
#include "platform/src/no_throw.h"
#include "platform/src/fault.h"
#include "platform/src/call_context.h"
#include <pw_call_context.h>
#include <security.h>

#include "platform/src/text.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>

namespace {

struct CallContext {
    bool present = false;
    bool impersonating = false;
    std::wstring samName;
    DWORD level = 0;
};

thread_local CallContext t_context;

// A thread token: a snapshot of the call context taken when it was opened.
struct Token {
    DWORD clientLevel;
};

std::mutex g_tokenLock;
std::set<const Token*> g_tokens;

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

// Takes `token` out of the table when `remove`; whether it was a token.
bool FindToken(HANDLE handle, DWORD* clientLevel, bool remove) {
    const auto* token = static_cast<const Token*>(handle);
    std::lock_guard<std::mutex> guard(g_tokenLock);
    if (g_tokens.count(token) == 0) {
        return false;
    }
    if (clientLevel != nullptr) {
        *clientLevel = token->clientLevel;
    }
    if (remove) {
        g_tokens.erase(token);
        delete token;
    }
    return true;
}

WINBOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The process's own account as Windows names a local one: the computer's NetBIOS name (the host
// name up to its first dot, in upper case, at most 15 characters), a backslash, the login.
std::wstring ProcessAccount() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    std::string computer(host, std::find(host, host + std::strlen(host), '.'));
    computer = computer.substr(0, 15);
    std::transform(computer.begin(), computer.end(), computer.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    std::string login;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        login = found->pw_name;
    } else if (const char* user = std::getenv("USER")) {
        login = user;
    }
    return pwplatform::WideFromUtf8(computer + "\\" + login);
}

}  // namespace

namespace pwplatform {

bool ImpersonatingRemoteNonAdministrator() {
    return t_context.impersonating;
}

}  // namespace pwplatform

extern "C" {

void WINAPI PwSetCallContext(const wchar_t* samName, DWORD impersonationLevel) {
    t_context.present = true;
    t_context.impersonating = false;
    try {
        t_context.samName = samName == nullptr ? L"" : samName;
    } catch (...) {
        // Without memory the client has no name, which the provider refuses.
        t_context.samName.clear();
    }
    t_context.level = impersonationLevel;
}

void WINAPI PwClearCallContext(void) {
    t_context = CallContext{};
}

BOOL WINAPI PwIsImpersonating(void) {
    return t_context.impersonating ? TRUE : FALSE;
}

// Starts or stops impersonating the client of the thread's call.
static HRESULT SetImpersonating(bool impersonating) {
    if (!t_context.present) {
        return RPC_E_CALL_COMPLETE;
    }
    if (pwplatform::FaultHere(PW_FAULT_IMPERSONATION)) {
        return E_ACCESSDENIED;
    }
    t_context.impersonating = impersonating;
    return S_OK;
}

HRESULT WINAPI CoImpersonateClient(void) {
    return SetImpersonating(true);
}

HRESULT WINAPI CoRevertToSelf(void) {
    return SetImpersonating(false);
}

WINBOOL WINAPI RevertToSelf(void) {
    t_context.impersonating = false;
    return TRUE;
}

HANDLE WINAPI GetCurrentThread(void) {
    return kCurrentThread;
}

WINBOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == kCurrentThread || hObject == kCurrentProcess) {
        return TRUE;
    }
    return FindToken(hObject, nullptr, true) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

WINBOOL WINAPI OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, WINBOOL OpenAsSelf,
                               PHANDLE TokenHandle) {
    return pwplatform::NoThrow<WINBOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> WINBOOL {
        (void)DesiredAccess, (void)OpenAsSelf;
        if (TokenHandle == nullptr) {
            return Fail(ERROR_NOACCESS);
        }
        *TokenHandle = nullptr;
        if (ThreadHandle != kCurrentThread) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        if (!t_context.impersonating) {
            return Fail(ERROR_NO_TOKEN);
        }
        auto* token = new Token{t_context.level};
        {
            std::lock_guard<std::mutex> guard(g_tokenLock);
            g_tokens.insert(token);
        }
        *TokenHandle = token;
        return TRUE;
    });
}

WINBOOL WINAPI GetTokenInformation(HANDLE TokenHandle,
                                   TOKEN_INFORMATION_CLASS TokenInformationClass,
                                   LPVOID TokenInformation, DWORD TokenInformationLength,
                                   PDWORD ReturnLength) {
    DWORD clientLevel = 0;
    if (!FindToken(TokenHandle, &clientLevel, false)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (ReturnLength == nullptr) {
        return Fail(ERROR_NOACCESS);
    }
    DWORD answer = 0;
    switch (TokenInformationClass) {
        case TokenImpersonationLevel:
            // Client levels 1..4 are token levels 0..3; a level outside them stays outside.
            answer = clientLevel - 1;
            break;
        case TokenType:
            answer = TokenImpersonation;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER);
    }
    *ReturnLength = sizeof answer;
    if (TokenInformation == nullptr || TokenInformationLength < sizeof answer) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(TokenInformation, &answer, sizeof answer);
    return TRUE;
}

BOOLEAN SEC_ENTRY GetUserNameExW(EXTENDED_NAME_FORMAT NameFormat, LPWSTR lpNameBuffer,
                                 PULONG nSize) {
    return pwplatform::NoThrow<BOOLEAN>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOLEAN {
        if (nSize == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (NameFormat != NameSamCompatible) {
            SetLastError(ERROR_NONE_MAPPED);
            return FALSE;
        }
        if (pwplatform::FaultHere(PW_FAULT_USER_NAME)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        const std::wstring name = t_context.impersonating ? t_context.samName : ProcessAccount();
        const auto needed = static_cast<ULONG>(name.size() + 1);
        if (lpNameBuffer == nullptr || *nSize < needed) {
            *nSize = needed;
            SetLastError(ERROR_MORE_DATA);
            return FALSE;
        }
        std::wmemcpy(lpNameBuffer, name.c_str(), needed);
        *nSize = needed - 1;
        return TRUE;
    });
}

}  // extern "C"
