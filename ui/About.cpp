#include "ui/About.h"

#include "ui_About.h"

About::About(QWidget *parent) : QDialog(parent), ui(new Ui::About)
{
    ui->setupUi(this);
    ui->label_2->setText(QStringLiteral("Vantelo") + QLatin1Char('\n') +
                         QLatin1String(versionText) + QLatin1Char('\n'));
}

About::~About()
{
    delete ui;
}
