#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

namespace quorvane {

// A run-time failure as every error handler sees it: a signed 32-bit number and a description.
// Database failures carry the numbers the classic OLE DB provider used (see db/ErrorNumbers.h);
// file failures carry the numbers of the classic file runtime.
class Failure : public std::exception
{
public:
    Failure(std::int32_t number, QString description)
        : m_number(number)
        , m_description(std::move(description))
        , m_what(m_description.toStdString())
    { }

    std::int32_t number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::int32_t m_number;
    QString m_description;
    std::string m_what;
};

// The number reported for a failure that did not come with a number of its own (any C++ exception
// that is not a Failure): 0x8000FFFF, E_UNEXPECTED.
inline constexpr std::int32_t kUnexpectedFailureNumber = static_cast<std::int32_t>(0x8000FFFFu);

} // namespace quorvane
