#include "core/pipeway_provider_impl.h"

#include "log/trace_log.h"

#include <algorithm>
#include <climits>
#include <optional>

using PipewayMgtData::PPImplStatus;
using namespace PipewayMgtData;  // the result codes

namespace {

constexpr std::string_view kCertificateCommand = "setUploadVandryCertificate";
constexpr std::string_view kCertificateLengthName = "CertificateStringLength";
constexpr std::string_view kCertificateName = "CertificateString";

// The rules of atoi (leading blanks, optional sign, digits up to the first other character,
// 0 without digits), except that a value beyond int saturates instead of being undefined.
int ParseLikeAtoi(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The step numbers the trace names for a text that cannot be cut: a name missing before an
// "=", a name the cleaning refuses, and a text without any "=".
constexpr int kStepEmptyName = 1322;
constexpr int kStepRefusedName = 1338;
constexpr int kStepNoEquals = 1429;

PPImplStatus InvalidArgument(int step) {
    TraceLog("PipewayProviderImpl::ConvertStrToVec(%d) - Invalid Argument\n", step);
    return PPImplStatus(kNoTokens);
}

// Where the value of the current name ends and the next name begins, within `segment` (the
// text between the current "=" and the next one).
struct SegmentSplit {
    std::size_t valueLength;
    std::size_t nextNameStart;
};

SegmentSplit SplitSegment(std::string_view segment) {
    const std::size_t lastWordEnd = segment.find_last_not_of(' ');
    if (lastWordEnd == std::string_view::npos) {
        // Blanks only, or nothing: the next name is empty and fails on the next pass.
        return {segment.empty() ? 0 : segment.size() - 1, segment.size()};
    }
    const std::size_t spaceBeforeWord = segment.rfind(' ', lastWordEnd);
    if (spaceBeforeWord == std::string_view::npos) {
        // One word: it is the next name, and the current name gets an empty value.
        return {0, 0};
    }
    return {spaceBeforeWord, spaceBeforeWord + 1};
}

// The length that "CertificateStringLength=" gives, when the text is a certificate upload
// that names one: then "CertificateString=" takes exactly that many bytes. False, with its
// trace line, when the length is missing or negative.
bool ReadCertificateLength(const std::string& text, std::optional<std::size_t>& length) {
    const std::size_t lengthName = text.find(kCertificateCommand) == std::string::npos
                                       ? std::string::npos
                                       : text.find(kCertificateLengthName);
    if (lengthName == std::string::npos) {
        return true;
    }
    const std::size_t numberStart = lengthName + kCertificateLengthName.size() + 1;
    if (numberStart >= text.size()) {
        TraceLog("PipewayProviderImpl::ConvertStrToVec() - Certificate String length missing\n");
        return false;
    }
    const std::size_t numberEnd = text.find(' ', numberStart);
    const int number = ParseLikeAtoi(std::string_view(text).substr(
        numberStart, numberEnd == std::string::npos ? std::string::npos : numberEnd - numberStart));
    if (number == -1) {
        TraceLog(
            "PipewayProviderImpl::ConvertStrToVec() - Error in the Certificate String length \n");
        return false;
    }
    if (number < 0) {
        TraceLog("PipewayProviderImpl::ConvertStrToVec() - Negative Certificate String length %d\n",
                 number);
        return false;
    }
    length = static_cast<std::size_t>(number);
    return true;
}

// The certificate's value at `pos`: exactly `length` bytes, then a blank. False, with its
// trace line, when the text is shorter or no blank follows.
bool TakeCertificate(std::string_view text, std::size_t& pos, std::size_t length,
                     pw::TokenList& args) {
    const std::size_t remaining = text.size() - pos;
    if (length > remaining) {
        TraceLog(
            "PipewayProviderImpl::ConvertStrToVec() - Certificate String shorter than its length "
            "%zu\n",
            length);
        return false;
    }
    if (length == remaining || text[pos + length] != ' ') {
        TraceLog(
            "PipewayProviderImpl::ConvertStrToVec() - No separator after the Certificate String "
            "of length %zu\n",
            length);
        return false;
    }
    args.push_back(kCertificateName, "=", text.substr(pos, length));
    pos += length + 1;
    TraceLog(
        "PipewayProviderImpl::ConvertStrToVec Certificate string Upload Progress in Pwy provider");
    return true;
}

// The value of `name` at `pos`: up to the last blank before the next "=" (whose word is the
// next name), or the rest of the text. Returns whether it was the last value.
bool TakeNamedValue(std::string_view text, std::size_t& pos, const std::string& name,
                    pw::TokenList& args) {
    const std::size_t nextEquals = text.find('=', pos);
    std::string_view value;
    const bool last = nextEquals == std::string_view::npos;
    if (last) {
        value = text.substr(pos);
        pos = text.size();
    } else {
        const SegmentSplit split = SplitSegment(text.substr(pos, nextEquals - pos));
        value = text.substr(pos, split.valueLength);
        pos += split.nextNameStart;
    }
    // A value is cleaned as ProcessArgument cleans one: blanks off both ends. Taken as a view:
    // the value may be most of the command line.
    const std::size_t first = value.find_first_not_of(' ');
    value = first == std::string_view::npos
                ? std::string_view()
                : value.substr(first, value.find_last_not_of(' ') - first + 1);
    TraceLog("PipewayProviderImpl::ConvertStrToVec() - Argument is %s=%.*s\n", name.c_str(),
             static_cast<int>(value.size()), value.data());
    args.push_back(name, "=", value);
    return last;
}

}  // namespace

bool PipewayProviderImpl::ProcessArgument(std::string& text, std::string_view kind) {
    const bool isName = kind == "NAME";
    if (text.empty()) {
        if (isName) {
            TraceLog("PipewayProviderImpl::ProcessArgument() - Empty Argument\n");
            return false;
        }
        return true;
    }
    // Blanks off both ends, as TrimString(text, " ", 2) gives them, in place.
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
    } else {
        text.erase(text.find_last_not_of(' ') + 1);
        text.erase(0, first);
    }
    if (!isName) {
        return true;
    }
    if (text.find("__") == std::string::npos) {
        return true;
    }
    std::string rebuilt;
    rebuilt.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "__") == 0) {
            // A prefix cut short by the end of the name ('abc__', 'ab__x') is refused rather
            // than read past the end.
            if (text.size() <= 4 || i + 4 > text.size()) {
                TraceLog(
                    "PipewayProviderImpl::ProcessArgument() - Error \n the string value(%s) or "
                    "length(%d) is incorrect ",
                    text.c_str(), static_cast<int>(text.size()));
                return false;
            }
            i += 4;
        } else {
            rebuilt += text[i];
            ++i;
        }
    }
    text = std::move(rebuilt);
    return true;
}

PPImplStatus PipewayProviderImpl::ConvertStrToVec(std::string& text, pw::TokenList& args) {
    if (text.empty()) {
        TraceLog("PipewayProviderImpl::ConvertStrToVec() - Empty Argument\n");
        return PPImplStatus(kNoTokens);
    }
    // Every token holds one '=' of the text and no more characters than the text: room for
    // them all at once, so that filling the list never moves it.
    args.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '=')), text.size());
    std::optional<std::size_t> certificateLength;
    if (!ReadCertificateLength(text, certificateLength)) {
        return PPImplStatus(kNoTokens);
    }

    // `pos` marks the unread text; it is cut off the front once, on the way out.
    std::size_t pos = 0;
    const auto consume = [&text, &pos](PPImplStatus status) {
        text.erase(0, pos);
        return status;
    };
    bool equalsSeen = false;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        if (equals == std::string::npos) {
            break;
        }
        equalsSeen = true;
        std::string name = text.substr(pos, equals - pos);
        if (name.empty()) {
            return consume(InvalidArgument(kStepEmptyName));
        }
        if (!ProcessArgument(name, "NAME")) {
            return consume(InvalidArgument(kStepRefusedName));
        }
        pos = equals + 1;
        if (certificateLength && name == kCertificateName) {
            if (!TakeCertificate(text, pos, *certificateLength, args)) {
                return consume(PPImplStatus(kNoTokens));
            }
        } else if (TakeNamedValue(text, pos, name, args)) {
            break;
        }
    }
    if (!equalsSeen) {
        return consume(InvalidArgument(kStepNoEquals));
    }
    return consume(PPImplStatus(kSuccess));
}
