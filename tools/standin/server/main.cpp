#include "catalogue/CatalogueJson.h"
#include "protocol/TlsContext.h"
#include "server/Browser.h"
#include "server/CommandLine.h"
#include "server/Server.h"
#include "server/SignalWatcher.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QTextStream>
#include <memory>

// The project's SQL Server stand-in: serves a catalogue from a JSON fixture over TDS.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QString error;
    const auto options = standin::parseCommandLine(QCoreApplication::arguments(), error);
    if (!options) {
        err << "standin: " << error << Qt::endl << standin::usage() << Qt::endl;
        return 2;
    }
    auto catalogue = standin::loadCatalogue(options->fixture, error);
    if (!catalogue) {
        err << "standin: " << error << Qt::endl;
        return 1;
    }
    const standin::ServerProfile profile = *standin::profileNamed(options->profile);
    std::unique_ptr<standin::TlsContext> tls;
    if (profile.encryption != standin::EncryptionSetting::NotSupported) {
        tls = standin::TlsContext::create(profile, options->certificate, options->key, error);
        if (!tls) {
            err << "standin: " << error << Qt::endl;
            return 1;
        }
    }
    standin::Server server(std::move(*catalogue), options->log, options->state);
    server.playRelease(profile, std::move(tls));
    if (!server.listen(options->host, options->port, error)) {
        err << "standin: cannot listen on " << options->hostText << ':' << options->port << ": " << error << Qt::endl;
        return 1;
    }
    std::unique_ptr<standin::Browser> browser;
    if (!options->instance.isEmpty()) {
        browser = std::make_unique<standin::Browser>(standin::BrowsedInstance {
            QHostInfo::localHostName().toUpper(), options->instance, profile.versionText(), server.port() });
        if (!browser->listen(options->browserHost, options->browserPort, error)) {
            err << "standin: cannot answer as the Browser on UDP " << options->browserHost.toString() << ':'
                << options->browserPort << ": " << error << Qt::endl;
            return 1;
        }
    }
    standin::SignalWatcher watcher;
    QObject::connect(&watcher, &standin::SignalWatcher::terminationRequested, &app, &QCoreApplication::quit);
    QObject::connect(&watcher, &standin::SignalWatcher::releaseRequested, &server,
                     &standin::Server::releaseOtherSessions);
    QTextStream(stdout) << "listening on " << options->hostText << ':' << server.port() << Qt::endl;
    return QCoreApplication::exec();
}
