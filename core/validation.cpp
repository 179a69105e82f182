#include "core/pipeway_provider_impl.h"

#include "core/da_module.h"

#include "log/trace_log.h"

using namespace PipewayMgtData;  // the result codes

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
    // A store for every character, not a branch: the loop runs over a whole command line.
    for (char& c : text) {
        c = c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
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

// One token as validation reads it, past its "__" prefix: where its text starts in the
// argument array's copy, its name lowered and trimmed, and its value as written.
struct PipewayProviderImpl::TokenParts {
    std::string_view token;
    std::size_t start = 0;
    std::string name;
    std::string_view value;
    bool Named(std::string_view wanted) const { return std::string_view(name) == wanted; }
};

// The tokens validation has met so far.
struct PipewayProviderImpl::Seen {
    bool daName = false;
    bool command = false;
    bool localLogin = false;
};

namespace {

std::string Trimmed(std::string_view text) {
    std::string copy(text);
    TrimWhitespace(copy);
    return copy;
}

// Cuts the token that starts at `start` of the tokens' text into its parts; kSuccess, or
// kSyntaxError with its trace line.
std::int32_t SplitToken(std::string_view token, std::size_t start,
                        PipewayProviderImpl::TokenParts& parts) {
    if (token.substr(0, 2) == "__") {
        // The four-character prefix cannot be dropped from a shorter entry.
        if (token.size() < 4) {
            TraceLog(
                "PipewayProviderImpl::IsValidOperation() : (Syntax error) Incomplete prefix\n");
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
    parts.token = token;
    parts.start = start;
    parts.name.assign(token.substr(0, equals));
    LowerCaseAscii(parts.name);
    TrimWhitespace(parts.name);
    parts.value = token.substr(equals + 1);
    return kSuccess;
}

}  // namespace

std::int32_t PipewayProviderImpl::IsValidOperation() {
    if (m_args.size() == 0) {
        TraceLog("PipewayProviderImpl::IsValidOperation() : Not enough arguments\n");
        return kNotEnoughArguments;
    }
    // The entries point into a copy of the tokens' text (each token already ends with a NUL),
    // with room after it for the local-login token that may be appended.
    m_arguments.reset();
    m_arguments.emplace(m_args.Text(), m_args.size(), sizeof kLocalLoginToken);
    Seen seen;
    TokenParts parts;
    for (std::size_t i = 0; i < m_args.size(); ++i) {
        std::int32_t status = SplitToken(m_args[i], m_args.Start(i), parts);
        if (status == kSuccess) {
            status = TakeToken(parts, seen);
        }
        if (status != kSuccess) {
            return status;
        }
        m_arguments->Point(i, parts.start);
    }
    return FinishValidation(seen);
}

std::int32_t PipewayProviderImpl::TakeToken(const TokenParts& parts, Seen& seen) {
    if (parts.Named("daname")) {
        if (seen.daName) {
            TraceLog(
                "PipewayProviderImpl::IsValidOperation() : (Syntax error) Duplicate DA Name\n");
            return kSyntaxError;
        }
        seen.daName = true;
        return TakeDAName(parts.value);
    }
    if (parts.Named("velcmd")) {
        if (seen.command) {
            TraceLog(
                "PipewayProviderImpl::IsValidOperation() : (Syntax error) Duplicate VEL Command\n");
            return kSyntaxError;
        }
        seen.command = true;
        m_command = Trimmed(parts.value);
    } else if (parts.Named("locallogin")) {
        if (seen.localLogin) {
            TraceLog("PipewayProviderImpl::IsValidOperation() : Duplicate localLogin..Ignored\n");
        } else {
            seen.localLogin = true;
            m_localLogin = parts.token;
        }
    }
    return kSuccess;
}

std::int32_t PipewayProviderImpl::TakeDAName(std::string_view value) {
    std::string daName = Trimmed(value);
    NormalizeDAName(daName);
    for (const std::string_view& entry : g_validDANames) {
        if (MatchesDAName(daName, entry)) {
            m_daName = entry;
            return kSuccess;
        }
    }
    TraceLog("PipewayProviderImpl::IsValidOperation() : (Syntax error) Invalid DA Name\n");
    return kUnknownDaName;
}

std::int32_t PipewayProviderImpl::FinishValidation(const Seen& seen) {
    if (!seen.daName) {
        TraceLog("PipewayProviderImpl::IsValidOperation() : (Syntax error) DA Name not found\n");
        return kNoDaName;
    }
    if (!seen.command) {
        TraceLog("PipewayProviderImpl::IsValidOperation() : (Syntax error) VELCommand not found\n");
        return kNoVelCommand;
    }
    if (!seen.localLogin) {
        m_arguments->Append(std::string_view(kLocalLoginToken, sizeof kLocalLoginToken - 1));
        m_localLogin = kLocalLoginToken;
    }
    return kSuccess;
}
