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
    // The named instance this server is; empty for a default instance (no Browser service).
    QString instance;
    // Where the Browser service answers: by default the --listen host and UDP port 1434.
    QHostAddress browserHost;
    quint16 browserPort = 1434;
    // The SQL Server release it answers as, and the certificate it encrypts with (generated when
    // none is named).
    QString profile = QStringLiteral("2016");
    QString certificate;
    QString key;
};

// Reads "--listen HOST:PORT --fixture FILE [--log FILE] [--state FILE] [--instance NAME
// [--browser HOST:PORT]] [--profile NAME] [--cert FILE --key FILE]"; on a mistake returns
// nothing and sets error to a one-line explanation.
std::optional<Options> parseCommandLine(const QStringList& arguments, QString& error);

QString usage();

} // namespace standin
