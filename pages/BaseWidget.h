#pragma once

#include <QWidget>

class Debug;
class Serial;

// The contract between the main window and every device page: it hands each page the log window
// and the command channel, asks it to read its values, and hears progress through one signal.
class BaseWidget : public QWidget
{
    Q_OBJECT

public:
    // The parent is accepted but not used: a page stays parentless until the main window inserts
    // it into its stacked page area.
    explicit BaseWidget(QWidget *parent = nullptr);

    virtual void setDebug(Debug *debug);
    virtual void setSerial(Serial *serial);
    virtual void refresh();

signals:
    void iconUpdateSignal();

protected:
    Debug *debug = nullptr;
    Serial *serial = nullptr;
};
