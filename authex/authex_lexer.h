// The exclusion file scanner: flex's scanner class with the prefix Authorization, and the
// class that carries the scanning function the parser calls.
#pragma once

#if !defined(yyFlexLexerOnce)
#undef yyFlexLexer
#define yyFlexLexer AuthorizationFlexLexer
#include <FlexLexer.h>
#endif

#include "authex_parser.hpp"

#include <cstddef>
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
    // Any stream may be null: standard input, output and error stand in for them. `err`
    // takes the scanner's own failures. `place`, when given, is moved over every byte read
    // (lines and columns from 1, columns in bytes): it spans the last match.
    explicit CAuthExFileLexer(std::istream* in = nullptr, std::ostream* out = nullptr,
                              std::ostream* err = nullptr, Parser::location_type* place = nullptr)
        : AuthorizationFlexLexer(in, out), m_err(err), m_place(place) {}
    ~CAuthExFileLexer() override = default;

    // The next token's number (0 at end of input); a NAME's or QUOT's text goes to `value`.
    int yylex(Parser::semantic_type* value);
    using AuthorizationFlexLexer::yylex;

    // Before each match (flex's YY_USER_ACTION): moves the place over the matched text and
    // keeps its bytes.
    void Track(const char* text, int length);
    // After each token the parser takes: remembers what it is.
    void NoteToken(int token);
    // The last token noted: its text (empty at the end of input) and the bytes no rule took
    // just before it, each cut to kKept bytes.
    const char* TokenText() const { return m_tokenText; }
    const char* Skipped() const { return m_skipped; }
    // Where the scanner copies text no rule takes (flex's default action).
    std::ostream& Output() { return yyout; }
    // Where the scanner writes its own failures.
    std::ostream& Errors() const;
    static constexpr std::size_t kKept = 63;

  private:
    std::ostream* m_err;
    Parser::location_type* m_place;
    // Fixed buffers: tracking never allocates, so it cannot fail where the scan would not.
    char m_match[kKept + 1] = {};
    char m_pending[kKept + 1] = {};
    char m_tokenText[kKept + 1] = {};
    char m_skipped[kKept + 1] = {};

  protected:
    // flex's fatal errors end the process; inside a WMI host that would take every other
    // provider with it, so they end the reading instead: after the message, an input failure
    // throws ScanInputFailed and a failed buffer allocation std::bad_alloc.
    [[noreturn]] void LexerError(const char* message) override;
};

}  // namespace yy
