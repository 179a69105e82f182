// What a person reads when an exclusion file is broken: where, in plain words, what to do
// about it, and what the provider would make of the file.
#pragma once

#include "authex/auth_exception.h"

#include <string>

namespace pipeway {

// The report of a syntax error in the file `path` whose bytes are `text`: the first line is
// "PATH:LINE:COLUMN: <plain words>", then the line with a mark under the column, a hint for the
// common mistakes, and what the provider does with the file (it keeps the `kept` entries read
// before the error and ignores the rest, so the commands named after it are allowed).
std::string DescribeSyntaxError(const std::string& path, const std::string& text,
                                const CSingletonAuthExceptionImpl::SyntaxError& error,
                                std::size_t kept);

// A warning for a key the file gives twice: "PATH:LINE: warning: ...".
std::string DescribeDuplicate(const std::string& path,
                              const CSingletonAuthExceptionImpl::DuplicateKey& duplicate);

}  // namespace pipeway
