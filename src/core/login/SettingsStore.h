#pragma once

#include <QString>

namespace quorvane {

// Per-user saved settings: a string by section and key under the application's title.
// Failures throw quorvane::Failure.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    virtual void write(const QString& section, const QString& key, const QString& value) = 0;
    virtual QString read(const QString& section, const QString& key, const QString& defaultValue) const = 0;
};

} // namespace quorvane
