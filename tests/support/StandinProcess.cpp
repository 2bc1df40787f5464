#include "support/StandinProcess.h"

#include "support/HostPath.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

namespace quorvane::test {

StandinProcess::StandinProcess(const QString& fixturePath, Observation observation)
{
    start(fixturePath, observation);
}

StandinProcess::StandinProcess(const QJsonObject& fixture, const QStringList& options)
{
    const QString path = m_folder.filePath(QStringLiteral("fixture.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(fixture).toJson());
    file.close();
    m_options = options;
    start(path, Observation::Recorded);
}

QStringList StandinProcess::releaseOptions(const QString& release)
{
    return release.isEmpty() ? QStringList() : QStringList { QStringLiteral("--profile"), release };
}

StandinProcess::~StandinProcess()
{
    stop();
}

void StandinProcess::start(const QString& fixturePath, Observation observation, quint16 port)
{
    QStringList arguments { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                            QStringLiteral("--fixture"), hostPath(fixturePath) };
    if (observation == Observation::Recorded)
        arguments << QStringLiteral("--log") << hostPath(m_folder.filePath(QStringLiteral("statements.jsonl")))
                  << QStringLiteral("--state") << hostPath(m_folder.filePath(QStringLiteral("state.json")));
    arguments += m_options;
    static const QRegularExpression listening(QStringLiteral("listening on [^:\\s]+:(\\d+)"));
    if (m_process.start(QStringLiteral(QUORVANE_STANDIN_PATH), arguments)) {
        const QRegularExpressionMatch match = m_process.waitForLine(listening, 20000);
        if (match.hasMatch()) {
            m_port = static_cast<quint16>(match.captured(1).toUInt());
            return;
        }
    }
    qWarning("stand-in did not start: %s", qPrintable(m_process.output()));
}

QString StandinProcess::dataSource() const
{
    return QStringLiteral("127.0.0.1,%1").arg(m_port);
}

QString StandinProcess::connectionString(const QString& database, const QString& user, const QString& password) const
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1;Initial Catalog=%2;User ID=%3;"
                          "Password=%4;")
        .arg(dataSource(), database, user, password);
}

QJsonArray StandinProcess::statements() const
{
    QJsonArray batches;
    for (const QJsonValue& request : requests()) {
        if (request.toObject().contains(QLatin1String("sql")))
            batches.append(request);
    }
    return batches;
}

QJsonArray StandinProcess::requests() const
{
    QJsonArray lines;
    QFile file(m_folder.filePath(QStringLiteral("statements.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

QStringList StandinProcess::sqlTexts() const
{
    QStringList texts;
    for (const QJsonValue& statement : statements())
        texts.append(statement.toObject().value(QStringLiteral("sql")).toString());
    return texts;
}

QJsonObject StandinProcess::state() const
{
    QFile file(m_folder.filePath(QStringLiteral("state.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void StandinProcess::stop()
{
    m_process.stop();
}

void StandinProcess::restart()
{
    const quint16 port = m_port;
    stop();
    m_port = 0;
    const QString saved = m_folder.filePath(QStringLiteral("saved.json"));
    QFile::remove(saved);
    if (!QFile::copy(m_folder.filePath(QStringLiteral("state.json")), saved))
        return;
    start(saved, Observation::Recorded, port);
}

QString StandinProcess::demoFixturePath()
{
    return QStringLiteral(QUORVANE_SOURCE_DIR "/tools/standin/fixtures/demo.json");
}

QString StandinProcess::generatedFixture(const QString& folder, int companies, int tables, int clusteredPercent)
{
    const QString path = QDir(folder).filePath(QStringLiteral("fixture-%1x%2.json").arg(companies).arg(tables));
    if (QFile::exists(path))
        return path;
    HostProcess generator;
    generator.start(QStringLiteral(QUORVANE_STANDIN_GEN_PATH),
                    { QStringLiteral("--companies"), QString::number(companies), QStringLiteral("--tables"),
                      QString::number(tables), QStringLiteral("--clustered-percent"), QString::number(clusteredPercent),
                      QStringLiteral("--out"), hostPath(path) });
    if (!generator.waitForEnd(-1) || !QFile::exists(path)) {
        qWarning("standin-gen failed: %s", qPrintable(generator.output()));
        return {};
    }
    return path;
}

} // namespace quorvane::test
