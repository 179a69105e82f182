// The event log: syslog, and for tests a file of one line per event.
#include "platform/src/call_context.h"
#include "platform/src/fault.h"
#include "platform/src/no_throw.h"
#include "platform/src/text.h"

#include <windows.h>

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct EventSource {
    std::string name;
};

std::string Utf8(LPCWSTR text) {
    std::string narrow;
    for (; text != nullptr && *text != L'\0'; ++text) {
        pwplatform::AppendUtf8(narrow, static_cast<char32_t>(*text));
    }
    return narrow;
}

// A field of the event file: tab, line feed and backslash escaped.
std::string Field(const std::string& text) {
    std::string field;
    for (const char c : text) {
        if (c == '\t') {
            field += "\\t";
        } else if (c == '\n') {
            field += "\\n";
        } else if (c == '\\') {
            field += "\\\\";
        } else {
            field += c;
        }
    }
    return field;
}

std::atomic<PwEventReportHook> g_hook{nullptr};
std::atomic<void*> g_hookContext{nullptr};

}  // namespace

extern "C" {

void WINAPI PwSetEventReportHook(PwEventReportHook hook, void* context) {
    g_hookContext.store(context);
    g_hook.store(hook);
}

HANDLE WINAPI RegisterEventSourceW(LPCWSTR server, LPCWSTR source) {
    return pwplatform::NoThrow<HANDLE>(nullptr, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HANDLE {
        if (server != nullptr || source == nullptr || *source == L'\0') {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        // The Application log's default security: administrators, services and interactive
        // users may write, a remote client who is none of them may not.
        if (pwplatform::ImpersonatingRemoteNonAdministrator() ||
            pwplatform::FaultHere(PW_FAULT_EVENT_LOG)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return new EventSource{Utf8(source)};
    });
}

BOOL WINAPI ReportEventW(HANDLE source, WORD type, WORD, DWORD eventId, void*, WORD stringCount,
                         DWORD, LPCWSTR* strings, void*) {
    return pwplatform::NoThrow<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
        if (source == nullptr || (stringCount > 0 && strings == nullptr)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (pwplatform::ImpersonatingRemoteNonAdministrator()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (pwplatform::FaultHere(PW_FAULT_EVENT_LOG)) {
            SetLastError(ERROR_LOG_FILE_FULL);
            return FALSE;
        }
        if (const PwEventReportHook hook = g_hook.load()) {
            hook(g_hookContext.load());
        }
        const std::string& name = static_cast<const EventSource*>(source)->name;
        const char* kind = type == EVENTLOG_ERROR_TYPE     ? "error"
                           : type == EVENTLOG_WARNING_TYPE ? "warning"
                                                           : "information";
        const unsigned id = eventId & 0xFFFFu;
        // Appended piece by piece: chained concatenation trips a false -Wrestrict in GCC 12.
        std::string text;
        std::string line = Field(name);
        line += '\t';
        line += std::to_string(id);
        line += '\t';
        line += kind;
        for (WORD i = 0; i < stringCount; ++i) {
            const std::string value = Utf8(strings[i]);
            if (i > 0) {
                text += " | ";
            }
            text += value;
            line += '\t';
            line += Field(value);
        }
        line += '\n';
        if (const char* file = std::getenv("PIPEWAY_EVENTLOG"); file != nullptr && *file != 0) {
            if (std::FILE* out = std::fopen(file, "a")) {
                std::fputs(line.c_str(), out);
                std::fclose(out);
            }
            return TRUE;
        }
        syslog(LOG_USER | (type == EVENTLOG_ERROR_TYPE ? LOG_ERR : LOG_WARNING), "%s[%u]: %s: %s",
               name.c_str(), id, kind, text.c_str());
        return TRUE;
    });
}

BOOL WINAPI DeregisterEventSource(HANDLE source) {
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<EventSource*>(source);
    return TRUE;
}

}  // extern "C"
