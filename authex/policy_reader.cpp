#include "authex/policy_reader.h"

#include <istream>
#include <ostream>
#include <utility>

PolicyReader::PolicyReader(std::istream& in, ReaderStreams streams,
                           CSingletonAuthExceptionImpl& store)
    : m_scanner(&in, streams.out, streams.err, &m_place), m_store(store) {}

bool PolicyReader::Parse() {
    yy::Parser parser(*this);
    return parser.parse() == 0;
}

int PolicyReader::Next(yy::Parser::semantic_type* value, yy::Parser::location_type* place) {
    const int token = m_scanner.yylex(value);
    m_scanner.NoteToken(token);
    // The end of input is where the input ends; a token is where it starts.
    m_tokenPlace = m_place;
    if (token == 0) {
        m_tokenPlace.step();
    }
    *place = m_tokenPlace;
    return token;
}

void PolicyReader::Element(int kind, std::string value) {
    m_store.HandleTag(kind, std::move(value));
}

void PolicyReader::SyntaxError(const std::string& message,
                               CSingletonAuthExceptionImpl::SyntaxTokens tokens) {
    Output() << message << std::endl;
    m_store.NoteSyntaxError(CSingletonAuthExceptionImpl::SyntaxError{
        m_tokenPlace.begin.line, m_tokenPlace.begin.column, m_scanner.TokenText(),
        m_scanner.Skipped(), message, std::move(tokens)});
}
