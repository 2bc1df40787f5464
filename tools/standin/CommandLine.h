#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

namespace standin {

struct Options
{
    QHostAddress host;
    QString hostText;
    quint16 port = 0;
    QString fixture;
    QString log;
    QString state;
    QString profile = QStringLiteral("2016");
    QString certificate;
    QString key;
};

// Reads "--listen HOST:PORT --fixture FILE [--log FILE] [--state FILE] [--profile NAME]
// [--cert FILE --key FILE]"; on a mistake returns
// nothing and sets error to a one-line explanation.
std::optional<Options> parseCommandLine(const QStringList& arguments, QString& error);

QString usage();

} // namespace standin
