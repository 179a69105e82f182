#include "pipeway_common.h"

#include "pipeway_provider_impl.h"
#include "pp_status.h"
#include "pw/stack_layout.h"

#include <windows.h>

#include "pw/resources.h"
#include "pw/text.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace pipeway {

namespace fs = std::filesystem;

namespace {

using namespace PipewayMgtData;

struct Meaning {
    std::int32_t code;
    const char* text;
};

constexpr Meaning kMeanings[] = {
    {kSuccess, "success"},
    {kNoTokens, "the command line cannot be cut into tokens"},
    {kCacheLockFailed, "the DA module cache cannot be locked"},
    {kNotEnoughArguments, "no tokens at all"},
    {kNoDaName, "no daname token"},
    {kUnknownDaName, "the daname value is not a known DA module"},
    {kNoVelCommand, "no velcmd token"},
    {kSyntaxError, "syntax error: a token without '=', or a second daname or velcmd token"},
    {kModuleUnusable, "the DA module cannot be used"},
    {kNotAuthorized, "the caller is not authorized to run the command"},
};

// Makes `folder` the library folder the provider loads the stack's libraries from: on POSIX
// the stack's own registry file names it; on Windows the machine's registry value must.
void UseStack(const fs::path& folder) {
#if defined(_WIN32)
    const std::optional<std::string> named = pw::stack::LibraryFolder();
    std::error_code error;
    if (!named) {
        throw UsageError{std::string("the registry value HKLM\\") + pw::stack::kLibraryKey + " " +
                         pw::stack::kLibraryValue +
                         " is not set (it names the stack's library folder)"};
    }
    if (!fs::equivalent(*named, folder, error)) {
        throw UsageError{std::string("the registry value ") + pw::stack::kLibraryValue + " names " +
                         *named + ", not " + folder.string() +
                         ": the provider loads the stack's libraries from that folder only"};
    }
#else
    const fs::path registry = folder / "registry.txt";
    SetEnvironmentVariableA("PIPEWAY_REGISTRY", registry.string().c_str());
    if (!pw::stack::SetLibraryFolder(folder.string())) {
        throw UsageError{"the stack's registry " + registry.string() + " cannot be written"};
    }
#endif
}

}  // namespace

std::string LibrarySearchPath() {
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string value(size, '\0');
    value.resize(size == 0 ? 0 : GetEnvironmentVariableA("PATH", value.data(), size));
    return value;
}

const char* ResultText(std::int32_t code) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.code == code) {
            return meaning.text;
        }
    }
    return "";
}

std::string ResultTable() {
    std::string table;
    for (const Meaning& meaning : kMeanings) {
        std::string code = std::to_string(meaning.code);
        code.insert(0, 5 - code.size(), ' ');
        table += code + "  " + meaning.text + "\n";
    }
    return table;
}

std::optional<std::vector<std::string>> CommandTokens(const std::vector<std::string>& words,
                                                      bool asArray) {
    if (asArray || words.size() != 1) {
        return words;
    }
    std::string text = words[0];
    TrimWhitespace(text);
    pw::TokenList tokens;
    if (PipewayProviderImpl::ConvertStrToVec(text, tokens).code != kSuccess) {
        return std::nullopt;
    }
    return tokens.ToVector();
}

std::optional<std::string> TokenValue(const std::vector<std::string>& tokens,
                                      const std::string& name) {
    for (const std::string& token : tokens) {
        const std::size_t equals = token.find('=');
        std::string tokenName = token.substr(0, equals);
        if (equals != std::string::npos &&
            PipewayProviderImpl::ProcessArgument(tokenName, "NAME") && tokenName == name) {
            return token.substr(equals + 1);
        }
    }
    return std::nullopt;
}

const char* LibraryExtension() {
    return pw::stack::kLibraryExtension;
}

std::string LibraryFileName(const std::string& module) {
    return module + LibraryExtension();
}

#if defined(_WIN32)
bool WriteDurably(const std::string& path, const std::string& content) {
    const std::optional<std::wstring> wide = pw::Widen(path, CP_ACP);
    if (!wide) {
        return false;
    }
    pw::UniqueHandle file(CreateFileW(wide->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr)) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file.get()) != FALSE;
}

bool MoveOver(const std::string& from, const std::string& to) {
    const std::optional<std::wstring> source = pw::Widen(from, CP_ACP);
    const std::optional<std::wstring> target = pw::Widen(to, CP_ACP);
    return source && target &&
           MoveFileExW(source->c_str(), target->c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
#else
bool WriteDurably(const std::string& path, const std::string& content) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

bool MoveOver(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    // The folder's entry too, so that the move survives a crash.
    const int folder = ::open(fs::path(to).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}
#endif

Stack CheckStack(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw UsageError{"the stack folder " + folder.string() + " cannot be read"};
    }
    Stack stack{fs::absolute(folder).lexically_normal(), {}};
    std::vector<std::string> missing;
    const std::string services = LibraryFileName("kordo64");
    const std::string rights = LibraryFileName("rukda64");
    if (!fs::is_regular_file(stack.folder / services, error)) {
        missing.push_back("the common-services library " + services);
    }
    if (!fs::is_regular_file(stack.folder / rights, error)) {
        missing.push_back("the rights module " + rights);
    }
    if (missing.empty()) {
        UseStack(stack.folder);
        const std::optional<std::string> root = pw::stack::RootInstallPath();
        if (!root) {
            missing.push_back("an install root (" + services + " reports none)");
        } else if (!fs::is_directory(*root, error)) {
            missing.push_back("the install root " + *root + " that " + services + " reports");
        } else {
            stack.installRoot = *root;
        }
    }
    if (!missing.empty()) {
        std::string message = folder.string() + " is not a stack: it lacks ";
        for (std::size_t i = 0; i < missing.size(); ++i) {
            message += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
        }
        throw UsageError{message};
    }
    return stack;
}

}  // namespace pipeway
