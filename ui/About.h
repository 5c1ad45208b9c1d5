#pragma once

#include "Version.h"

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

    static constexpr const char *versionText = VANTELO_VERSION_TEXT;

private:
    Ui::About *ui;
};
