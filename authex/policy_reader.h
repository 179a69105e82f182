// The reader of one exclusion file, as bison's C++ examples drive a parse: it owns the scanner
// and where the scanner is (the parser's locations), runs the parser over the input, and hands
// the store what it recognised: each element, and the syntax error that ends the reading.
#pragma once

#include "authex/auth_exception.h"
#include "authex/authex_lexer.h"

#include <iosfwd>
#include <string>

class PolicyReader {
  public:
    PolicyReader(std::istream& in, ReaderStreams streams, CSingletonAuthExceptionImpl& store);
    PolicyReader(const PolicyReader&) = delete;
    PolicyReader& operator=(const PolicyReader&) = delete;

    // Parses the whole input into the store; true when the parse accepted it. Input that
    // cannot be read throws yy::ScanInputFailed, memory that runs out std::bad_alloc.
    bool Parse();

    // For the parser: the next token's number (0 at the end of input), its text in `value`
    // for a NAME or QUOT, its place in `place`.
    int Next(yy::Parser::semantic_type* value, yy::Parser::location_type* place);
    // An element the parser recognised, for the store.
    void Element(int kind, std::string value);
    // The syntax error that stops the parse, at the last token read; the message is written
    // to the output first.
    void SyntaxError(const std::string& message, CSingletonAuthExceptionImpl::SyntaxTokens tokens);
    // Where the scanner copies text no rule takes.
    std::ostream& Output() { return m_scanner.Output(); }
    // The line the scanner has reached.
    int Line() const { return m_place.end.line; }

  private:
    // Before the scanner, which moves it.
    yy::Parser::location_type m_place;       // where the scanner is
    yy::Parser::location_type m_tokenPlace;  // the last token's, or the end of the input
    yy::CAuthExFileLexer m_scanner;
    CSingletonAuthExceptionImpl& m_store;
};
