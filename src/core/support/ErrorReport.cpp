#include "support/ErrorReport.h"

#include "support/FileHelpers.h"
#include "support/MessageSink.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

ErrorReport::ErrorReport(MessageSink& messages, QString applicationFolder)
    : m_messages(messages)
    , m_applicationFolder(std::move(applicationFolder))
{ }

ErrorReport ErrorReport::toFile(MessageSink& messages, const QString& errorLogPath)
{
    ErrorReport report(messages, QDir::toNativeSeparators(QFileInfo(errorLogPath).absolutePath()));
    report.m_errorLogPath = errorLogPath;
    return report;
}

void ErrorReport::RaiseError(const QString& strSource, std::int32_t lngNumber,
                             const QString& strDescription) const noexcept
{
    // Each step is skipped on its own failure; the message box is shown even when the record
    // could not be written (AppendtoFile has then shown its own box first).
    RecordError(strSource, lngNumber, strDescription);
    try {
        m_messages.showMessage(QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details."));
    } catch (...) { }
}

void ErrorReport::RecordError(const QString& strSource, std::int32_t lngNumber,
                              const QString& strDescription) const noexcept
{
    try {
        const QString record = QStringLiteral("Source: ") + strSource + QStringLiteral("\r\nNumber: ")
            + QString::number(lngNumber) + QStringLiteral("\r\nDescription: ") + strDescription;
        const QString path = m_errorLogPath.isEmpty()
            ? AddBackslash(m_applicationFolder) + QStringLiteral("ErrorLog.txt")
            : m_errorLogPath;
        if (AppendtoFile(m_messages, path, record))
            ++*m_recordsWritten;
    } catch (...) { }
}

} // namespace quorvane
