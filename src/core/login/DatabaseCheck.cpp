#include "login/DatabaseCheck.h"

#include "db/DriverConnectionString.h"
#include "db/ErrorNumbers.h"
#include "support/Failure.h"

#include <QRegularExpression>

namespace quorvane {

qint16 CheckResultForErrorNumber(qint32 lngNumber)
{
    if (lngNumber == db::kErrorFail || lngNumber == db::kErrorServerNotVerified)
        return kCheckServerUnreachable;
    if (lngNumber == db::kErrorNoTable)
        return kCheckNotNavision;
    if (lngNumber == db::kErrorAuthenticationFailed)
        return kCheckLoginRefused;
    return kCheckUnexpected;
}

QString EncryptionRefusalReason(const QString& strConnect, const Failure& failure)
{
    // The driver names no cause when the server answers without encryption or the TLS handshake
    // fails: its one line for a connection given up, without the line of an unreachable server or
    // any message from the server.
    static const QString kGivenUp = QStringLiteral("Unable to connect to data source");
    if (failure.number() == db::kErrorServerNotVerified)
        return failure.description();
    if (failure.number() != db::kErrorFail || failure.description().trimmed() != kGivenUp)
        return {};
    static const QRegularExpression requiresEncryption(QStringLiteral("(^|;)Encryption=require(;|$)"),
                                                       QRegularExpression::CaseInsensitiveOption);
    try {
        if (!requiresEncryption.match(db::TranslateConnectionString(strConnect).connectionString).hasMatch())
            return {};
    } catch (const Failure&) {
        return {};
    }
    return QStringLiteral("The server cannot encrypt the connection as \"Use Encryption for Data=True\" asks: it "
                          "offers no encryption (as SQL Server 2000 does) or none this computer accepts.");
}

qint16 ValidateDatabase(const db::ConnectionFactory& connectionFactory, const QString& strConnect, QString* strRefusal,
                        Failure* failure)
{
    try {
        qint16 intResult = kCheckNavisionDatabase;
        const std::unique_ptr<db::Connection> connection = connectionFactory ? connectionFactory() : nullptr;
        if (!connection)
            return kCheckUnexpected;
        connection->Open(strConnect);
        {
            // Released before the connection closes, so no row set outlives its connection.
            const std::unique_ptr<db::RecordSet> records = connection->Execute(QString::fromUtf16(kNavisionCheckQuery));
            if (!records)
                return kCheckUnexpected;
            if (records->eof())
                intResult = kCheckNotNavision;
        }
        connection->Close();
        return intResult;
    } catch (const Failure& caught) {
        if (caught.number() == db::kErrorBadConnectionString && strRefusal != nullptr)
            *strRefusal = caught.description();
        if (failure != nullptr)
            *failure = caught;
        return CheckResultForErrorNumber(caught.number());
    } catch (...) {
        return kCheckUnexpected;
    }
}

bool NeedsFailureRecord(const QString& strServer, const QString& strConnect)
{
    return strServer.contains(QLatin1Char('\\'))
        || strConnect.contains(QLatin1String("Integrated Security"), Qt::CaseInsensitive)
        || strConnect.contains(QLatin1String("Trusted_Connection"), Qt::CaseInsensitive);
}

QString CheckResultMessage(qint16 intResult, const QString& strRefusal)
{
    if (intResult == kCheckUnexpected && !strRefusal.isEmpty())
        return CheckResultMessage(intResult) + QStringLiteral("\r\n") + strRefusal;
    switch (intResult) {
    case kCheckNavisionDatabase:
        return {};
    case kCheckNotNavision:
        return QStringLiteral("The selected database is not a valid Navision 4.0 Database");
    case kCheckServerUnreachable:
        return QStringLiteral("Could not connect to the passed server.");
    case kCheckLoginRefused:
        return QStringLiteral("The Login information entered was invalid.");
    default:
        return QStringLiteral("An unexpected error has occurred.");
    }
}

} // namespace quorvane
