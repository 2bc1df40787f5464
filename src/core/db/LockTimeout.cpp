#include "db/LockTimeout.h"

namespace quorvane::db {

namespace {

    // The server takes milliseconds in an int.
    constexpr int kLargestSeconds = 2'147'483;

} // namespace

std::optional<LockTimeout> LockTimeout::fromText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return withoutLimit();
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    if (!ok || value < 0 || value > kLargestSeconds)
        return std::nullopt;
    return seconds(value);
}

QString LockTimeout::text() const
{
    return m_seconds ? QString::number(*m_seconds) : QStringLiteral("none");
}

QString LockTimeout::setStatement() const
{
    return QStringLiteral("SET LOCK_TIMEOUT ") + QString::number(m_seconds ? *m_seconds * 1000 : -1);
}

} // namespace quorvane::db
