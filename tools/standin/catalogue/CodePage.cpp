#include "catalogue/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <utility>

namespace standin {

namespace {
    constexpr int kUtf8 = 65001;

    // Collation names by the start of their name, the more particular first.
    constexpr std::pair<const char*, int> kCollationCodePages[] = {
        { "SQL_Latin1_General_CP1_", 1252 },
        { "SQL_Latin1_General_CP437_", 437 },
        { "SQL_Latin1_General_CP850_", 850 },
        { "SQL_Latin1_General_CP1250_", 1250 },
        { "SQL_Latin1_General_CP1251_", 1251 },
        { "Latin1_General_", 1252 },
        { "Japanese_", 932 },
        { "Chinese_PRC_", 936 },
        { "Chinese_Simplified_", 936 },
        { "Chinese_Taiwan_", 950 },
        { "Chinese_Traditional_", 950 },
        { "Chinese_Hong_Kong_", 950 },
        { "Korean_", 949 },
        { "Cyrillic_General_", 1251 },
        { "Ukrainian_", 1251 },
        { "Polish_", 1250 },
        { "Czech_", 1250 },
        { "Hungarian_", 1250 },
        { "Croatian_", 1250 },
        { "Romanian_", 1250 },
        { "Slovak_", 1250 },
        { "Slovenian_", 1250 },
        { "Greek_", 1253 },
        { "Turkish_", 1254 },
        { "Hebrew_", 1255 },
        { "Arabic_", 1256 },
        { "Estonian_", 1257 },
        { "Latvian_", 1257 },
        { "Lithuanian_", 1257 },
        { "Vietnamese_", 1258 },
        { "Thai_", 874 },
        { "Danish_Norwegian_", 1252 },
        { "Finnish_Swedish_", 1252 },
        { "French_", 1252 },
        { "German_PhoneBook_", 1252 },
        { "Icelandic_", 1252 },
        { "Modern_Spanish_", 1252 },
        { "Traditional_Spanish_", 1252 },
    };

    QByteArray converterName(int codePage)
    {
        return (codePage == 437 || codePage == 850 ? QByteArrayLiteral("ibm-") : QByteArrayLiteral("windows-"))
            + QByteArray::number(codePage);
    }
} // namespace

std::optional<int> codePageOf(const QString& collation)
{
    if (collation.endsWith(QLatin1String("_UTF8"), Qt::CaseInsensitive))
        return kUtf8;
    for (const auto& [prefix, codePage] : kCollationCodePages) {
        if (collation.startsWith(QLatin1String(prefix), Qt::CaseInsensitive))
            return codePage;
    }
    return std::nullopt;
}

QString throughCodePage(const QString& text, int codePage)
{
    if (codePage == kUtf8)
        return text;
    QStringEncoder encoder(converterName(codePage).constData());
    QStringDecoder decoder(converterName(codePage).constData());
    QString result;
    result.reserve(text.size());
    // Character by character: one that does not come back the same has no place in the code page.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        i += length;
        if (character.size() == 1 && character[0].unicode() < 0x80) {
            result.append(character);
            continue;
        }
        // Without a converter for the code page (a Qt built without ICU) only ASCII is sure to pass.
        QString back;
        if (encoder.isValid() && decoder.isValid()) {
            const QByteArray bytes = encoder.encode(character);
            back = decoder.decode(bytes);
        }
        result.append(back == character ? character : QStringView(u"?"));
    }
    return result;
}

} // namespace standin
