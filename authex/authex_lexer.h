// The exclusion file scanner: flex's scanner class with the prefix Authorization, and the
// class that carries the scanning function the parser calls.
#pragma once

#if !defined(yyFlexLexerOnce)
#undef yyFlexLexer
#define yyFlexLexer AuthorizationFlexLexer
#include <FlexLexer.h>
#endif

#include "authex_parser.hpp"

#include <exception>
#include <iosfwd>

namespace yy {

// The scanner could not read its input: the reading ends here and the file counts as
// unreadable.
class ScanInputFailed : public std::exception {
  public:
    const char* what() const noexcept override { return "input in flex scanner failed"; }
};

class CAuthExFileLexer : public AuthorizationFlexLexer {
  public:
    // Either stream may be null: standard input and standard output stand in for them.
    explicit CAuthExFileLexer(std::istream* in = nullptr, std::ostream* out = nullptr)
        : AuthorizationFlexLexer(in, out) {}
    ~CAuthExFileLexer() override = default;

    // The next token's number (0 at end of input); a NAME's or QUOT's text goes to `value`.
    int yylex(Parser::semantic_type* value);
    using AuthorizationFlexLexer::yylex;

  protected:
    // flex's fatal errors end the process; inside a WMI host that would take every other
    // provider with it, so they end the reading instead: after the message, an input failure
    // throws ScanInputFailed and a failed buffer allocation std::bad_alloc.
    [[noreturn]] void LexerError(const char* message) override;
};

}  // namespace yy
