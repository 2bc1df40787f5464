#pragma once

#include "login/SettingsStore.h"

namespace quorvane {

// The saved settings in the user's own settings store, under the application's title, one group
// per section: on Linux the file <title>/<title>.conf in $XDG_CONFIG_HOME (by default ~/.config);
// on Windows the registry key HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<title>,
// a subkey per section and a string value per key (the classic per-user application-settings
// store of Windows).
// Every call opens the store anew, so a value always comes from, or goes straight to, the store.
class QtSettingsStore final : public SettingsStore
{
public:
    explicit QtSettingsStore(QString applicationTitle);

    void write(const QString& section, const QString& key, const QString& value) override;
    QString read(const QString& section, const QString& key, const QString& defaultValue) const override;

    // Where the values are kept: the settings file, or on Windows the registry key.
    QString fileName() const;

private:
    QString m_applicationTitle;
};

} // namespace quorvane
