#pragma once

#include <QString>
#include <memory>
#include <cstdint>

namespace quorvane {

class MessageSink;

// The one error report of the program: appends a three-line record to "ErrorLog.txt" in the
// application's folder, then tells the user in a message box to look there.
class ErrorReport
{
public:
    ErrorReport(MessageSink& messages, QString applicationFolder);

    // The same report written to an error log file of the caller's choosing (full path) instead
    // of "ErrorLog.txt" in the application's folder.
    static ErrorReport toFile(MessageSink& messages, const QString& errorLogPath);

    // Never throws; a failing step is skipped and the following steps still run.
    void RaiseError(const QString& strSource, std::int32_t lngNumber, const QString& strDescription) const noexcept;
    // Appends the record only, for a failure the caller tells the user about in words of its own.
    // Never throws.
    void RecordError(const QString& strSource, std::int32_t lngNumber, const QString& strDescription) const noexcept;

    MessageSink& messages() const { return m_messages; }
    const QString& applicationFolder() const { return m_applicationFolder; }
    // How many records this report (and its copies) wrote to the error log.
    int recordsWritten() const { return *m_recordsWritten; }

private:
    MessageSink& m_messages;
    QString m_applicationFolder;
    QString m_errorLogPath; // empty: "ErrorLog.txt" in the application's folder
    std::shared_ptr<int> m_recordsWritten = std::make_shared<int>(0);
};

} // namespace quorvane
