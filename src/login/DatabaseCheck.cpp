#include "login/DatabaseCheck.h"

#include "db/ErrorNumbers.h"
#include "log/Failure.h"

namespace quorvane {

qint16 CheckResultForErrorNumber(qint32 lngNumber)
{
    if (lngNumber == db::kErrorFail)
        return kCheckServerUnreachable;
    if (lngNumber == db::kErrorNoTable)
        return kCheckNotNavision;
    if (lngNumber == db::kErrorAuthenticationFailed)
        return kCheckLoginRefused;
    return kCheckUnexpected;
}

qint16 ValidateDatabase(const db::ConnectionFactory& connectionFactory, const QString& strConnect, QString* strRefusal)
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
    } catch (const Failure& failure) {
        if (failure.number() == db::kErrorBadConnectionString && strRefusal != nullptr)
            *strRefusal = failure.description();
        return CheckResultForErrorNumber(failure.number());
    } catch (...) {
        return kCheckUnexpected;
    }
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
