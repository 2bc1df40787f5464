#pragma once

#include "support/ErrorReport.h"
#include "support/Failure.h"

#include <QString>
#include <exception>
#include <utility>

namespace quorvane {

// Runs a body and hands any failure to report(number, description). Returns true when the body
// finished without a failure. Nothing escapes into the event loop.
template <typename Report, typename Body> bool guardedWith(Report&& report, Body&& body) noexcept
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const Failure& failure) {
        report(failure.number(), failure.description());
    } catch (const std::exception& exception) {
        report(kUnexpectedFailureNumber, QString::fromLocal8Bit(exception.what()));
    } catch (...) {
        report(kUnexpectedFailureNumber, QStringLiteral("Unknown failure"));
    }
    return false;
}

// Runs a routine's body under its error handler: any failure is reported through RaiseError with
// the routine's source name, number and description, and the routine then returns normally.
// Returns true when the body finished without a failure.
template <typename Body> bool guarded(const ErrorReport& report, const char* source, Body&& body) noexcept
{
    return guardedWith(
        [&](std::int32_t number, const QString& description) {
            report.RaiseError(QString::fromUtf8(source), number, description);
        },
        std::forward<Body>(body));
}

// The same for a routine whose failure the user need not be told about: the failure is written to
// the error log only, without a message box.
template <typename Body> bool guardedQuietly(const ErrorReport& report, const char* source, Body&& body) noexcept
{
    return guardedWith(
        [&](std::int32_t number, const QString& description) {
            report.RecordError(QString::fromUtf8(source), number, description);
        },
        std::forward<Body>(body));
}

} // namespace quorvane
