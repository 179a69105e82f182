#include "stack_files_shared.h"

#include <string_view>

namespace pw::stack {

namespace detail {

std::vector<std::string> Components(const std::string& relative, const char* separators) {
    std::vector<std::string> parts;
    std::string part;
    const std::string_view separatorSet(separators);  // a NUL in `relative` is no separator
    for (const char c : relative) {
        if (separatorSet.find(c) == std::string_view::npos) {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(std::move(part));
            part.clear();
        }
    }
    if (!part.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

std::string TooLarge(std::size_t limit) {
    return "is larger than " + std::to_string(limit) + " bytes";
}

ReplaceResult FolderRefused(const AnchoredPath& path) {
    ReplaceResult result;
    result.failure = "the folder of " + path.Full() + " cannot be opened without a link";
    return result;
}

}  // namespace detail

AnchoredPath AtOwnFolder(const std::string& path) {
#if defined(_WIN32)
    const std::size_t separator = path.find_last_of("\\/");
#else
    const std::size_t separator = path.rfind('/');
#endif
    if (separator == std::string::npos) {
        return {".", "/" + path};
    }
    return {path.substr(0, separator), path.substr(separator)};
}

}  // namespace pw::stack
