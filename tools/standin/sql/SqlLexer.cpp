#include "sql/SqlLexer.h"

namespace standin {

namespace {
    bool isWordStart(QChar c)
    {
        return c.isLetter() || c == u'_' || c == u'#';
    }
    bool isWordPart(QChar c)
    {
        return c.isLetterOrNumber() || c == u'_' || c == u'#' || c == u'$' || c == u'@';
    }

    // Reads a delimited token from position at (the opening delimiter) up to its closing one, a
    // doubled closing delimiter standing for one. Answers the position after it, or -1.
    qsizetype readDelimited(const QString& sql, qsizetype at, QChar close, QString& value)
    {
        qsizetype i = at + 1;
        while (i < sql.size()) {
            if (sql[i] == close) {
                if (i + 1 < sql.size() && sql[i + 1] == close) {
                    value.append(close);
                    i += 2;
                    continue;
                }
                return i + 1;
            }
            value.append(sql[i]);
            ++i;
        }
        return -1;
    }
} // namespace

SqlTokens tokenize(const QString& sql)
{
    SqlTokens result;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    const auto add = [&](SqlToken::Kind kind, QString text) { result.tokens.append({ kind, std::move(text) }); };
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            if (end < 0) {
                result.unterminated = sql.mid(i);
                return result;
            }
            i = end + 2;
        } else if (c == u'[' || c == u'"' || c == u'\''
                   || ((c == u'N' || c == u'n') && i + 1 < n && sql[i + 1] == u'\'')) {
            const qsizetype open = (c == u'N' || c == u'n') ? i + 1 : i;
            const QChar opening = sql[open];
            const QChar close = opening == u'[' ? QChar(u']') : opening;
            QString value;
            const qsizetype next = readDelimited(sql, open, close, value);
            if (next < 0) {
                result.unterminated = sql.mid(i);
                return result;
            }
            add(opening == u'\'' ? SqlToken::Kind::String : SqlToken::Kind::Identifier, value);
            result.tokens.last().national = open != i;
            i = next;
        } else if (c == u'@') {
            qsizetype j = i + 1;
            while (j < n && (isWordPart(sql[j])))
                ++j;
            add(SqlToken::Kind::Variable, sql.mid(i, j - i));
            i = j;
        } else if (isWordStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordPart(sql[j]))
                ++j;
            add(SqlToken::Kind::Word, sql.mid(i, j - i));
            i = j;
        } else if (c.isDigit()) {
            qsizetype j = i + 1;
            while (j < n && (sql[j].isDigit() || sql[j] == u'.'))
                ++j;
            add(SqlToken::Kind::Number, sql.mid(i, j - i));
            i = j;
        } else {
            static const QString twoCharacter[]
                = { QStringLiteral(">="), QStringLiteral("<="), QStringLiteral("<>"), QStringLiteral("!=") };
            qsizetype length = 1;
            for (const QString& symbol : twoCharacter) {
                if (QStringView(sql).mid(i, 2) == symbol)
                    length = 2;
            }
            add(SqlToken::Kind::Symbol, sql.mid(i, length));
            i += length;
        }
    }
    return result;
}

} // namespace standin
