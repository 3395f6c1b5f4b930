#pragma once
#include <QProxyStyle>

namespace cantrix {

// The application's style with one style hint answered differently, for the one widget that is
// given it (QWidget::setStyle does not pass it on to children). It belongs to `owner`.
class StyleHintOverride : public QProxyStyle {
    Q_OBJECT
public:
    StyleHintOverride(StyleHint hint, int value, QObject* owner);

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override;

private:
    StyleHint overridden;
    int value;
};

} // namespace cantrix
