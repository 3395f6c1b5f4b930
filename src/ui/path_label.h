#pragma once
#include <QString>
#include <QWidget>

namespace cantrix {

// A one-line text for a file path. A path wider than the control is shown shortened in the middle,
// so both its folder and its file name stay visible; the whole path is then the tooltip. Screen
// readers read it as static text named by the whole path (InstallAccessibleWidgets).
class PathLabel : public QWidget {
    Q_OBJECT
public:
    explicit PathLabel(const QString& text, QWidget* parent = nullptr);

    void SetText(const QString& text);
    const QString& Text() const { return text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateToolTip();

    QString text;
};

} // namespace cantrix
