#pragma once

#include <QDialog>

namespace Ui {
class About;
}

// The program's logo, name and version, and its licence note.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

    static constexpr const char *versionText = "1.0.0.9.0.2";

private:
    Ui::About *ui;
};
