#pragma once
#include <QDialog>

namespace cantrix {

// Dialog template 100: the program's About box, with its version line, the maker's notice and
// the legal warning. Shown modally and dismissed with OK, Esc or the close box.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace cantrix
