// The About box frmAbout: the program icon, the description, version and year, and an OK button;
// it stays above other windows. GUI thread.
#pragma once

#include <QDialog>

namespace lonvera::ui {

class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(const QIcon &programIcon, QWidget *parent = nullptr);
};

} // namespace lonvera::ui
