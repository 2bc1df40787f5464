#include "db/OdbcErrors.h"

#include "db/ErrorNumbers.h"
#include "support/VisibleText.h"

#include <QStringList>
#include <algorithm>

namespace quorvane::db {

namespace {

    constexpr std::int32_t kCannotOpenDatabase = 4060;
    constexpr std::int32_t kLoginFailed = 18456;
    constexpr std::int32_t kInvalidObjectName = 208;

    // Numbers the driver gives its own messages: 0 for the ODBC layer and the driver manager,
    // and the ranges of FreeTDS's TDS library (character conversion, port/instance, network).
    bool isDriverNumber(std::int32_t number)
    {
        return number == 0 || (number >= 100 && number <= 101) || (number >= 2400 && number <= 2404) || number == 2500
            || (number >= 20000 && number <= 20299);
    }

    bool hasStateClass(const DiagnosticRecord& record, const char* stateClass)
    {
        return record.sqlState.startsWith(QLatin1String(stateClass), Qt::CaseInsensitive);
    }

    // Class 00 and 01 states are successes and warnings: SQL Server's informational messages
    // (class 10 or lower, such as 5701 "Changed database context") arrive with them.
    bool isInformational(const DiagnosticRecord& record)
    {
        return hasStateClass(record, "00") || hasStateClass(record, "01");
    }

    bool isTimeout(const DiagnosticRecord& record)
    {
        return hasStateClass(record, "HYT");
    }

    bool comesFromServer(const DiagnosticRecord& record)
    {
        if (isDriverNumber(record.nativeError))
            return false;
        if (record.nativeError == kCannotOpenDatabase || record.nativeError == kLoginFailed)
            return true;
        // Other drivers give operating-system numbers (10061, 53, ...) to connection failures,
        // time-outs and driver manager errors.
        return !hasStateClass(record, "08") && !isTimeout(record) && !hasStateClass(record, "IM");
    }

    // SQL Server sends the specific cause of a failure before the message that sums it up
    // ("Cannot open database" before "Login failed", 3725 before "Could not drop constraint",
    // 1779 before "Could not create constraint"). FreeTDS hands its records over ranked by
    // severity, which keeps the arrival order among messages of one severity but puts a more
    // severe summary (18456, class 14) before its cause (4060, class 11); neither the driver nor
    // unixODBC keeps a record of the arrival order. Moving the summaries behind the other messages
    // restores the order the server used.
    bool isSummary(const DiagnosticRecord& record)
    {
        static constexpr std::int32_t summaries[] = { 1750, 3727, kLoginFailed };
        return std::find(std::begin(summaries), std::end(summaries), record.nativeError) != std::end(summaries);
    }

    QString describe(const QList<DiagnosticRecord>& records)
    {
        QStringList lines;
        for (const DiagnosticRecord& record : records) {
            // One line per message: a line break or escape sequence inside a server's text (which
            // may quote a catalogue name) is shown, not obeyed, wherever the description goes.
            const QString line = visibleText(WithoutDriverPrefixes(record.message).trimmed());
            if (!line.isEmpty() && !lines.contains(line))
                lines.append(line);
        }
        return lines.isEmpty() ? QStringLiteral("Unspecified error") : lines.join(QLatin1Char('\n'));
    }

} // namespace

QString WithoutDriverPrefixes(const QString& message)
{
    // "[FreeTDS][SQL Server]", "[unixODBC][Driver Manager]" or
    // "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]": at most three groups.
    qsizetype start = 0;
    for (int group = 0; group < 3 && start < message.size() && message.at(start) == QLatin1Char('['); ++group) {
        const qsizetype close = message.indexOf(QLatin1Char(']'), start);
        if (close < 0)
            break;
        start = close + 1;
    }
    return message.mid(start);
}

Failure FailureFromDiagnostics(const QList<DiagnosticRecord>& records, OdbcOperation operation)
{
    QList<DiagnosticRecord> serverErrors;
    QList<DiagnosticRecord> driverErrors;
    QList<DiagnosticRecord> driverWarnings;
    for (const DiagnosticRecord& record : records) {
        if (isInformational(record)) {
            if (isDriverNumber(record.nativeError))
                driverWarnings.append(record);
            continue;
        }
        if (isTimeout(record)) {
            return Failure(kErrorFail,
                           operation == OdbcOperation::Connect ? QStringLiteral("Login timeout expired")
                                                               : QStringLiteral("Query timeout expired"));
        }
        (comesFromServer(record) ? serverErrors : driverErrors).append(record);
    }
    // FreeTDS hands over a connection the server closed mid-statement ("Unexpected EOF from the
    // server") as a warning only; for a call that failed, the driver's warnings are then the cause.
    if (serverErrors.isEmpty())
        return Failure(kErrorFail, describe(driverErrors.isEmpty() ? driverWarnings : driverErrors));

    std::stable_partition(serverErrors.begin(), serverErrors.end(),
                          [](const DiagnosticRecord& record) { return !isSummary(record); });
    const auto hasNumber = [&serverErrors](std::int32_t number) {
        return std::any_of(serverErrors.cbegin(), serverErrors.cend(),
                           [number](const DiagnosticRecord& record) { return record.nativeError == number; });
    };

    std::int32_t number = serverErrors.front().nativeError;
    if (hasNumber(kCannotOpenDatabase))
        number = kErrorFail;
    else if (hasNumber(kLoginFailed))
        number = kErrorAuthenticationFailed;
    else if (number == kInvalidObjectName)
        number = kErrorNoTable;
    return Failure(number, describe(serverErrors));
}

} // namespace quorvane::db
