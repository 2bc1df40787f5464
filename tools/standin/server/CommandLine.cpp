#include "server/CommandLine.h"

#include "server/ServerProfile.h"

namespace standin {

namespace {

    struct Endpoint
    {
        QHostAddress host;
        QString hostText;
        quint16 port = 0;
    };

    // "HOST:PORT" with an IP address, "localhost" or "*" (any) as HOST; "[...]" around an IPv6 address.
    std::optional<Endpoint> parseEndpoint(const QString& option, const QString& text, QString& error)
    {
        Endpoint endpoint;
        const qsizetype colon = text.lastIndexOf(u':');
        bool portOk = false;
        const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&portOk) : 0;
        endpoint.hostText = colon > 0 ? text.left(colon) : QString();
        if (endpoint.hostText.startsWith(u'[') && endpoint.hostText.endsWith(u']'))
            endpoint.hostText = endpoint.hostText.mid(1, endpoint.hostText.size() - 2);
        if (!portOk || port > 65535) {
            error = QStringLiteral("%1 wants HOST:PORT, not %2").arg(option, text);
            return std::nullopt;
        }
        endpoint.port = static_cast<quint16>(port);
        if (endpoint.hostText == u"localhost")
            endpoint.host = QHostAddress(QHostAddress::LocalHost);
        else if (endpoint.hostText == u"*" || endpoint.hostText.isEmpty())
            endpoint.host = QHostAddress(QHostAddress::Any);
        else
            endpoint.host = QHostAddress(endpoint.hostText);
        if (endpoint.host.isNull()) {
            error = QStringLiteral("%1 is not an IP address").arg(endpoint.hostText);
            return std::nullopt;
        }
        return endpoint;
    }

} // namespace

std::optional<Options> parseCommandLine(const QStringList& arguments, QString& error)
{
    Options options;
    QString listen;
    QString browser;
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
        else if (argument == u"--instance")
            target = &options.instance;
        else if (argument == u"--browser")
            target = &browser;
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
    const auto endpoint = parseEndpoint(QStringLiteral("--listen"), listen, error);
    if (!endpoint)
        return std::nullopt;
    options.host = endpoint->host;
    options.hostText = endpoint->hostText;
    options.port = endpoint->port;
    options.browserHost = endpoint->host;
    if (!browser.isEmpty()) {
        if (options.instance.isEmpty()) {
            error = QStringLiteral("--browser needs --instance");
            return std::nullopt;
        }
        const auto browserEndpoint = parseEndpoint(QStringLiteral("--browser"), browser, error);
        if (!browserEndpoint)
            return std::nullopt;
        options.browserHost = browserEndpoint->host;
        options.browserPort = browserEndpoint->port;
    }
    return options;
}

QString usage()
{
    return QStringLiteral("usage: standin --listen HOST:PORT --fixture FILE [--log FILE] [--state FILE] "
                          "[--instance NAME [--browser HOST:PORT]] [--profile 2000|2005|2008r2|2016|2022] "
                          "[--cert FILE --key FILE]");
}

} // namespace standin
