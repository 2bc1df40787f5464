#pragma once

#include <QProxyStyle>

namespace quorvane {

// The application's style, except that a password field shows "*" for every character instead
// of the style's own mask character.
class PasswordMaskStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

} // namespace quorvane
