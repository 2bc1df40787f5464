#pragma once

#include <QList>
#include <QString>

namespace standin {

// One lexical token of T-SQL. Identifiers keep their text with the delimiters removed and ]] or ""
// undoubled; string literals keep their value with '' undoubled.
struct SqlToken
{
    enum class Kind { Word, Identifier, String, Number, Variable, Symbol };
    Kind kind = Kind::Word;
    QString text;
    // A string literal written N'...': Unicode, kept as it is; without N it is read in the database's code page.
    bool national = false;

    // A regular word or a delimited identifier: either may name an object.
    bool isName() const { return kind == Kind::Word || kind == Kind::Identifier; }
    // A keyword match: only an undelimited word can be a keyword.
    bool isKeyword(QStringView keyword) const
    {
        return kind == Kind::Word && text.compare(keyword, Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(QStringView symbol) const { return kind == Kind::Symbol && text == symbol; }
};

struct SqlTokens
{
    QList<SqlToken> tokens;
    // Set when the text has an unterminated literal, identifier or comment; then the tokens stop
    // before it and this holds the text where it starts.
    QString unterminated;
};

// Splits SQL text into tokens, dropping white space and comments.
SqlTokens tokenize(const QString& sql);

} // namespace standin
