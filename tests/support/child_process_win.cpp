#include "tests/support/child_process.h"

#include <windows.h>

#include "pw/resources.h"

#include <algorithm>

namespace pwtest {
namespace {

std::string Failure(const std::filesystem::path& program, const char* what, DWORD error) {
    return "cannot " + std::string(what) + " " + program.string() + ": error " +
           std::to_string(error);
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// Appends one argument so that the C runtime's parser gives it back unchanged: quoted when it
// is empty or holds blanks or quotes; backslashes doubled only where they precede a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
    line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// Starts the program; returns 0 or the error of the last attempt.
DWORD Start(const std::filesystem::path& program, std::wstring& line, STARTUPINFOW& startup,
            PROCESS_INFORMATION& process) {
    DWORD error = 0;
    // Wine reports ERROR_INTERNAL_ERROR when the new process died while it was being set up,
    // before it ran any code of the program (seen once in about 2,000 starts on a loaded
    // machine): nothing of the program has happened, so it is started again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE,
                           CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
            return 0;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    return error;
}

// Reads the child's output to its end, then waits for its exit status.
void Collect(const std::filesystem::path& program, HANDLE reader, HANDLE child, ProgramRun& run) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        run.output.append(buffer, got);
    }
    DWORD code = 0;
    if (WaitForSingleObject(child, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(child, &code)) {
        run.error = Failure(program, "wait for", GetLastError());
    } else {
        run.status = static_cast<int>(code);
    }
    run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    pw::UniqueHandle reader;
    pw::UniqueHandle writer;
    // Only the child's ends are inheritable; the tests start one program at a time, so no
    // other child can inherit the writing end and keep the pipe open.
    if (!CreatePipe(reader.put(), writer.put(), &inherited, 0) ||
        !SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) {
        run.error = Failure(program, "make a pipe for", GetLastError());
        return run;
    }
    pw::UniqueHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherited, OPEN_EXISTING, 0, nullptr));
    if (input.get() == INVALID_HANDLE_VALUE) {
        input.release();
        run.error = Failure(program, "open NUL for", GetLastError());
        return run;
    }

    std::wstring line = L"\"" + program.wstring() + L"\"";
    for (const std::string& argument : arguments) {
        AppendArgument(line, Wide(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process{};
    const DWORD startError = Start(program, line, startup, process);
    writer.reset();
    input.reset();
    if (startError != 0) {
        run.error = Failure(program, "start", startError);
        return run;
    }
    pw::UniqueHandle child(process.hProcess);
    pw::UniqueHandle thread(process.hThread);
    Collect(program, reader.get(), child.get(), run);
    return run;
}

}  // namespace pwtest
