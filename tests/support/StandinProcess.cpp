#include "support/StandinProcess.h"

#include "support/HostPath.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace quorvane::test {

StandinProcess::StandinProcess(const QString& fixturePath, Observation observation)
{
    start(fixturePath, observation);
}

StandinProcess::StandinProcess(const QJsonObject& fixture, const QStringList& options)
    : m_options(options)
{
    QFile file(m_folder.filePath(QStringLiteral("fixture.json")));
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(fixture).toJson());
    file.close();
    start(file.fileName(), Observation::Recorded);
}

void StandinProcess::start(const QString& fixturePath, Observation observation, quint16 port)
{
    QStringList arguments { "--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--fixture", hostPath(fixturePath) };
    if (observation == Observation::Recorded)
        arguments << "--log" << hostPath(m_folder.filePath(QStringLiteral("statements.jsonl"))) << "--state"
                  << hostPath(m_folder.filePath(QStringLiteral("state.json")));
    static const QRegularExpression listening(QStringLiteral("listening on [^:\\s]+:(\\d+)"));
    if (m_process.start(QStringLiteral(QUORVANE_STANDIN_PATH), arguments + m_options))
        m_port = static_cast<quint16>(m_process.waitForLine(listening, 20000).captured(1).toUInt());
    if (m_port == 0)
        qWarning("stand-in did not start: %s", qPrintable(m_process.output()));
}

QString StandinProcess::connectionString(const QString& database, const QString& user, const QString& password) const
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1;Initial Catalog=%2;User ID=%3;"
                          "Password=%4;")
        .arg(dataSource(), database, user, password);
}

QJsonArray StandinProcess::requests() const
{
    QJsonArray lines;
    for (const QByteArray& line : fileBytes(m_folder.filePath(QStringLiteral("statements.jsonl"))).split('\n'))
        if (!line.trimmed().isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    return lines;
}

QStringList StandinProcess::sqlTexts() const
{
    QStringList texts;
    for (const QJsonValue& request : requests())
        if (request.toObject().contains(QLatin1String("sql")))
            texts.append(request[QLatin1String("sql")].toString());
    return texts;
}

void StandinProcess::restart()
{
    const quint16 port = m_port;
    stop();
    m_port = 0;
    const QString saved = m_folder.filePath(QStringLiteral("saved.json"));
    QFile::remove(saved);
    if (QFile::copy(m_folder.filePath(QStringLiteral("state.json")), saved))
        start(saved, Observation::Recorded, port);
}

QString StandinProcess::generatedFixture(const QString& folder, int companies, int tables, int clusteredPercent)
{
    const QString path = QDir(folder).filePath(QStringLiteral("fixture-%1x%2.json").arg(companies).arg(tables));
    if (QFile::exists(path))
        return path;
    HostProcess generator;
    generator.start(QStringLiteral(QUORVANE_STANDIN_GEN_PATH),
                    { "--companies", QString::number(companies), "--tables", QString::number(tables),
                      "--clustered-percent", QString::number(clusteredPercent), "--out", hostPath(path) });
    if (generator.waitForEnd(-1) && QFile::exists(path))
        return path;
    qWarning("standin-gen failed: %s", qPrintable(generator.output()));
    return {};
}

} // namespace quorvane::test
