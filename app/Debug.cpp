#include "app/Debug.h"

#include "ui_Debug.h"

#include <QIcon>
#include <QScrollBar>

Debug::Debug(QWidget *parent) : QWidget(parent), ui(new Ui::Debug)
{
    ui->setupUi(this);
    // The resource collection may hold no image under this path; the window then keeps the
    // platform's default icon.
    setWindowIcon(QIcon(QStringLiteral(":/images/icons/F_Logo_Purple.JPG")));
}

Debug::~Debug()
{
    delete ui;
}

void Debug::setAutoScroll(bool on)
{
    ui->c_autoScroll->setChecked(on);
    if (on)
        scrollToEnd();
}

void Debug::on_pb_DebugWindowClear_clicked()
{
    ui->tb_Debug->clear();
}

void Debug::on_c_autoScroll_stateChanged(int arg1)
{
    const bool checked = arg1 == Qt::Checked;
    ui->c_autoScroll->setChecked(checked);
    if (checked)
        scrollToEnd();
}

void Debug::scrollToEnd()
{
    QScrollBar *bar = ui->tb_Debug->verticalScrollBar();
    bar->setValue(bar->maximum());
}
