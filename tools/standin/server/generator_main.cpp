#include "catalogue/FixtureGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTextStream>

// Writes a big Navision-like fixture for the stand-in: N companies x M tables.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a Navision-like fixture for the SQL Server stand-in."));
    parser.addHelpOption();
    const QCommandLineOption companies(QStringLiteral("companies"), QStringLiteral("Number of companies."),
                                       QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption tables(QStringLiteral("tables"), QStringLiteral("Tables per company."),
                                    QStringLiteral("M"), QStringLiteral("100"));
    const QCommandLineOption clustered(QStringLiteral("clustered-percent"),
                                       QStringLiteral("Share of primary keys already clustered."), QStringLiteral("P"),
                                       QStringLiteral("10"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Database name."),
                                      QStringLiteral("NAME"), QStringLiteral("CRONUS"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password of the login navuser."),
                                      QStringLiteral("TEXT"), QStringLiteral("Demo#2006"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Fixture file to write."),
                                 QStringLiteral("FILE"));
    parser.addOptions({ companies, tables, clustered, database, password, out });
    parser.process(app);

    QTextStream err(stderr);
    standin::GeneratorOptions options;
    bool companiesOk = false, tablesOk = false, clusteredOk = false;
    options.companies = parser.value(companies).toInt(&companiesOk);
    options.tablesPerCompany = parser.value(tables).toInt(&tablesOk);
    options.clusteredPercent = parser.value(clustered).toInt(&clusteredOk);
    options.database = parser.value(database);
    options.password = parser.value(password);
    if (!companiesOk || !tablesOk || !clusteredOk || options.companies < 1 || options.tablesPerCompany < 0
        || !parser.isSet(out)) {
        err << "standin-gen: --companies N (1 or more), --tables M and --out FILE are required" << Qt::endl;
        return 2;
    }
    QSaveFile file(parser.value(out));
    if (!file.open(QIODevice::WriteOnly)) {
        err << "standin-gen: " << file.errorString() << Qt::endl;
        return 1;
    }
    file.write(QJsonDocument(standin::generateFixture(options)).toJson(QJsonDocument::Compact));
    if (!file.commit()) {
        err << "standin-gen: " << file.errorString() << Qt::endl;
        return 1;
    }
    return 0;
}
