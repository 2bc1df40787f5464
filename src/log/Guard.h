#pragma once

#include "log/ErrorReport.h"
#include "log/Failure.h"

#include <QString>
#include <exception>
#include <utility>

namespace quorvane {

// Runs a routine's body under its error handler: any failure is reported through RaiseError with
// the routine's source name, number and description, and the routine then returns normally.
// Returns true when the body finished without a failure. Nothing escapes into the event loop.
template <typename Body> bool guarded(const ErrorReport& report, const char* source, Body&& body) noexcept
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const Failure& failure) {
        report.RaiseError(QString::fromUtf8(source), failure.number(), failure.description());
    } catch (const std::exception& exception) {
        report.RaiseError(QString::fromUtf8(source), kUnexpectedFailureNumber,
                          QString::fromLocal8Bit(exception.what()));
    } catch (...) {
        report.RaiseError(QString::fromUtf8(source), kUnexpectedFailureNumber, QStringLiteral("Unknown failure"));
    }
    return false;
}

} // namespace quorvane
