// The exclusion file scanner: flex's scanner class with the prefix Authorization, and the
// class that carries the scanning function the parser calls.
#pragma once

#if !defined(yyFlexLexerOnce)
#undef yyFlexLexer
#define yyFlexLexer AuthorizationFlexLexer
#include <FlexLexer.h>
#endif

#include "authex_parser.hpp"

#include <iosfwd>

namespace yy {

class CAuthExFileLexer : public AuthorizationFlexLexer {
  public:
    // Either stream may be null: standard input and standard output stand in for them.
    explicit CAuthExFileLexer(std::istream* in = nullptr, std::ostream* out = nullptr)
        : AuthorizationFlexLexer(in, out) {}
    ~CAuthExFileLexer() override = default;

    // The next token's number (0 at end of input); a NAME's or QUOT's text goes to `value`.
    int yylex(Parser::semantic_type* value);
    using AuthorizationFlexLexer::yylex;
};

}  // namespace yy
