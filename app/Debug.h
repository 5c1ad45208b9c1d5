#pragma once

#include <QWidget>

namespace Ui {
class Debug;
}

// A top-level traffic log window. Pages are handed a pointer to it, but nothing in the program
// writes to it or shows it; it keeps its form so that it can be switched on later.
class Debug : public QWidget
{
    Q_OBJECT

public:
    explicit Debug(QWidget *parent = nullptr);
    ~Debug() override;

    void setAutoScroll(bool on);

private slots:
    void on_pb_DebugWindowClear_clicked();
    void on_c_autoScroll_stateChanged(int arg1);

private:
    void scrollToEnd();

    Ui::Debug *ui;
};
