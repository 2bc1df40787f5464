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
};

// Reads "--listen HOST:PORT --fixture FILE [--log FILE] [--state FILE]"; on a mistake returns
// nothing and sets error to a one-line explanation.
std::optional<Options> parseCommandLine(const QStringList& arguments, QString& error);

QString usage();

} // namespace standin
