#include "pipeway_provider_impl.h"

#include "trace_log.h"

#include <cstdlib>
#include <cstring>
#include <new>

using namespace PipewayMgtData;  // the result codes

const std::array<std::string_view, 6> g_validDANames = {"lumda64", "rukda64", "kordo64",
                                                        "tarda64", "mivda64", "pexda64"};

namespace {

constexpr char kLocalLoginToken[] = "localLogin=TRUE";

void LowerCaseAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
}

}  // namespace

namespace pw::core {

void TrimWhitespace(std::string& text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    // In place: the text may be a whole command line.
    const std::size_t last = text.find_last_not_of(' ');
    if (last == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(' '));
}

std::string TrimString(const std::string& text, const std::string& characters, int side) {
    if (side < 0 || side > 2) {
        return text;
    }
    std::size_t begin = 0;
    std::size_t end = text.size();
    if (side == 0 || side == 2) {
        begin = text.find_first_not_of(characters);
        if (begin == std::string::npos) {
            return {};
        }
    }
    if (side == 1 || side == 2) {
        const std::size_t last = text.find_last_not_of(characters);
        if (last == std::string::npos) {
            return {};
        }
        end = last + 1;
    }
    return text.substr(begin, end - begin);
}

bool MatchesDAName(const std::string& value, std::string_view entry) {
    if (entry == value) {
        return true;
    }
    return entry.size() == value.size() + 2 && entry.substr(0, value.size()) == value &&
           entry.substr(value.size()) == "64";
}

}  // namespace pw::core

using pw::core::MatchesDAName;
using pw::core::TrimWhitespace;

void PipewayProviderImpl::NormalizeDAName(std::string& name) {
    if (name.find("64") == std::string::npos) {
        name += "64";
    }
}

std::int32_t PipewayProviderImpl::IsValidOperation() {
    if (m_argc == 0) {
        TraceLog("PipewayProviderImpl::IsValidOperation() : Not enough arguments\n");
        return kNotEnoughArguments;
    }
    FreeArgv();
    // The entries point into a copy of the tokens' text (each token already ends with a NUL),
    // with room after it for the local-login token that may be appended.
    const std::string& text = m_args.Text();
    m_argv = static_cast<char**>(std::calloc(m_argc + 1, sizeof(char*)));
    m_argvText = static_cast<char*>(std::calloc(text.size() + sizeof kLocalLoginToken, 1));
    if (m_argv == nullptr || m_argvText == nullptr) {
        FreeArgv();
        throw std::bad_alloc();
    }
    std::memcpy(m_argvText, text.data(), text.size());

    bool daNameSeen = false;
    bool commandSeen = false;
    bool localLoginSeen = false;
    for (std::size_t i = 0; i < m_args.size(); ++i) {
        std::string_view token = m_args[i];
        std::size_t start = m_args.Start(i);
        if (token.substr(0, 2) == "__") {
            // The four-character prefix cannot be dropped from a shorter entry.
            if (token.size() < 4) {
                TraceLog(
                    "PipewayProviderImpl::IsValidOperation() : (Syntax error) Incomplete "
                    "prefix\n");
                return kSyntaxError;
            }
            token.remove_prefix(4);
            start += 4;
        }
        const std::size_t equals = token.find('=');
        if (token.empty() || equals == std::string_view::npos) {
            TraceLog("PipewayProviderImpl::IsValidOperation() : (Syntax error) = not found\n");
            return kSyntaxError;
        }
        std::string name(token.substr(0, equals));
        LowerCaseAscii(name);
        TrimWhitespace(name);
        // Only the values of the two tokens that validation reads are copied.
        const auto value = [&token, equals] {
            std::string copy(token.substr(equals + 1));
            TrimWhitespace(copy);
            return copy;
        };

        if (name == "daname") {
            if (daNameSeen) {
                TraceLog(
                    "PipewayProviderImpl::IsValidOperation() : (Syntax error) Duplicate DA "
                    "Name\n");
                return kSyntaxError;
            }
            daNameSeen = true;
            std::string daName = value();
            NormalizeDAName(daName);
            const std::string_view* match = nullptr;
            for (const std::string_view& entry : g_validDANames) {
                if (MatchesDAName(daName, entry)) {
                    match = &entry;
                    break;
                }
            }
            if (match == nullptr) {
                TraceLog(
                    "PipewayProviderImpl::IsValidOperation() : (Syntax error) Invalid DA "
                    "Name\n");
                return kUnknownDaName;
            }
            m_daName = *match;
        } else if (name == "velcmd") {
            if (commandSeen) {
                TraceLog(
                    "PipewayProviderImpl::IsValidOperation() : (Syntax error) Duplicate VEL "
                    "Command\n");
                return kSyntaxError;
            }
            commandSeen = true;
            m_command = value();
        } else if (name == "locallogin") {
            if (localLoginSeen) {
                TraceLog(
                    "PipewayProviderImpl::IsValidOperation() : Duplicate localLogin..Ignored\n");
            } else {
                localLoginSeen = true;
                m_localLogin = token;
            }
        }
        m_argv[i] = m_argvText + start;
    }

    if (!daNameSeen) {
        TraceLog("PipewayProviderImpl::IsValidOperation() : (Syntax error) DA Name not found\n");
        return kNoDaName;
    }
    if (!commandSeen) {
        TraceLog("PipewayProviderImpl::IsValidOperation() : (Syntax error) VELCommand not found\n");
        return kNoVelCommand;
    }
    if (localLoginSeen) {
        return kSuccess;
    }
    char* appended = m_argvText + text.size();
    std::memcpy(appended, kLocalLoginToken, sizeof kLocalLoginToken);
    m_argv[m_argc] = appended;
    ++m_argc;
    m_localLogin = kLocalLoginToken;
    return kSuccess;
}
