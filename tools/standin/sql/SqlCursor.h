#pragma once

#include "sql/SqlLexer.h"

#include <QStringList>
#include <optional>

namespace standin {

// A position in a statement's tokens with the small matching steps the statements are made of.
class SqlCursor
{
public:
    explicit SqlCursor(const QList<SqlToken>& tokens)
        : m_tokens(tokens)
    { }

    bool atEnd() const { return m_at >= m_tokens.size(); }
    const SqlToken* peek() const { return atEnd() ? nullptr : &m_tokens[m_at]; }
    qsizetype position() const { return m_at; }
    void rewind(qsizetype to) { m_at = to; }
    // The text of the token where recognition stopped, for "Incorrect syntax near".
    QString nearText() const
    {
        if (atEnd())
            return m_tokens.isEmpty() ? QString() : m_tokens.last().text;
        return m_tokens[m_at].text;
    }

    bool keyword(QStringView word)
    {
        if (atEnd() || !m_tokens[m_at].isKeyword(word))
            return false;
        ++m_at;
        return true;
    }
    bool symbol(QStringView text)
    {
        if (atEnd() || !m_tokens[m_at].isSymbol(text))
            return false;
        ++m_at;
        return true;
    }
    QString take() { return atEnd() ? QString() : m_tokens[m_at++].text; }
    std::optional<QString> name()
    {
        if (atEnd() || !m_tokens[m_at].isName())
            return std::nullopt;
        return m_tokens[m_at++].text;
    }
    // Matches a fixed pattern; string literals at '?' are appended to captures. On a mismatch the
    // cursor stays where it was.
    bool pattern(const QList<SqlToken>& pattern, QStringList* captures = nullptr)
    {
        QList<SqlToken> literals;
        if (!literalPattern(pattern, literals))
            return false;
        for (const SqlToken& literal : std::as_const(literals)) {
            if (captures)
                captures->append(literal.text);
        }
        return true;
    }
    // The same, keeping the captured literals whole (with whether each was written N'...').
    bool literalPattern(const QList<SqlToken>& pattern, QList<SqlToken>& literals)
    {
        const qsizetype start = m_at;
        for (const SqlToken& expected : pattern) {
            if (atEnd())
                return fail(start);
            const SqlToken& actual = m_tokens[m_at];
            if (expected.isSymbol(u"?")) {
                if (actual.kind != SqlToken::Kind::String)
                    return fail(start);
                literals.append(actual);
            } else if (!same(expected, actual)) {
                return fail(start);
            }
            ++m_at;
        }
        return true;
    }

private:
    static bool same(const SqlToken& expected, const SqlToken& actual)
    {
        if (expected.isName())
            return actual.isName() && expected.text.compare(actual.text, Qt::CaseInsensitive) == 0;
        return expected.kind == actual.kind && expected.text.compare(actual.text, Qt::CaseInsensitive) == 0;
    }
    bool fail(qsizetype start)
    {
        m_at = start;
        return false;
    }

    const QList<SqlToken>& m_tokens;
    qsizetype m_at = 0;
};

// True for a word that starts a statement (and so ends the one before it).
bool startsStatement(const SqlToken& token);

} // namespace standin
