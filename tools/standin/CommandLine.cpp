#include "CommandLine.h"

#include "ServerProfile.h"

namespace standin {

std::optional<Options> parseCommandLine(const QStringList& arguments, QString& error)
{
    Options options;
    QString listen;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString* target = nullptr;
        if (argument == u"--listen")
            target = &listen;
        else if (argument == u"--fixture")
            target = &options.fixture;
        else if (argument == u"--log")
            target = &options.log;
        else if (argument == u"--state")
            target = &options.state;
        else if (argument == u"--profile")
            target = &options.profile;
        else if (argument == u"--cert")
            target = &options.certificate;
        else if (argument == u"--key")
            target = &options.key;
        if (!target) {
            error = QStringLiteral("unknown argument %1").arg(argument);
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1 needs a value").arg(argument);
            return std::nullopt;
        }
        *target = arguments[++i];
    }
    if (listen.isEmpty() || options.fixture.isEmpty()) {
        error = QStringLiteral("--listen and --fixture are required");
        return std::nullopt;
    }
    if (!profileNamed(options.profile)) {
        error = QStringLiteral("--profile wants one of %1, not %2").arg(profileNames().join(u", "), options.profile);
        return std::nullopt;
    }
    if (options.certificate.isEmpty() != options.key.isEmpty()) {
        error = QStringLiteral("--cert and --key go together");
        return std::nullopt;
    }
    const qsizetype colon = listen.lastIndexOf(u':');
    bool portOk = false;
    const uint port = colon > 0 ? listen.mid(colon + 1).toUInt(&portOk) : 0;
    options.hostText = colon > 0 ? listen.left(colon) : QString();
    if (options.hostText.startsWith(u'[') && options.hostText.endsWith(u']'))
        options.hostText = options.hostText.mid(1, options.hostText.size() - 2);
    if (!portOk || port > 65535) {
        error = QStringLiteral("--listen wants HOST:PORT, not %1").arg(listen);
        return std::nullopt;
    }
    options.port = static_cast<quint16>(port);
    if (options.hostText == u"localhost")
        options.host = QHostAddress(QHostAddress::LocalHost);
    else if (options.hostText == u"*" || options.hostText.isEmpty())
        options.host = QHostAddress(QHostAddress::Any);
    else
        options.host = QHostAddress(options.hostText);
    if (options.host.isNull()) {
        error = QStringLiteral("%1 is not an IP address").arg(options.hostText);
        return std::nullopt;
    }
    return options;
}

QString usage()
{
    return QStringLiteral("usage: standin --listen HOST:PORT --fixture FILE [--log FILE] [--state FILE] "
                          "[--profile 2000|2005|2008r2|2016|2022] [--cert FILE --key FILE]");
}

} // namespace standin
