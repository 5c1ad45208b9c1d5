#pragma once

#include "pages/BaseWidget.h"

#include <QString>

class QEvent;
class QLineEdit;

namespace Ui {
class InfoWidget;
}

// The device's identity (model, versions, RDM UID, label, factory reset) and its DMX fail
// behaviour. The dimmers and the receiver card differ only in where their replies put these
// values and in the label's name, so both pages are this class with a different Variant.
class InfoWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit InfoWidget(QWidget *parent = nullptr);
    ~InfoWidget() override;

    void setDebug(Debug *debug) override;
    void setSerial(Serial *serial) override;
    void refresh() override;

protected:
    // Where each family keeps these values in its replies is the settings table's business.
    struct Variant
    {
        const char *objectName;
        Family family;
    };
    static const Variant dimmerVariant;

    InfoWidget(QWidget *parent, const Variant &variant);

    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_le_deviceLabel_editingFinished();
    void on_pb_defaults_clicked();
    void on_le_DMXFailModeDelay_editingFinished();
    void on_le_DMXFailModeHold_editingFinished();
    void on_le_DMXFailModeDelay_textEdited(const QString &arg1);
    void on_le_DMXFailModeHold_textEdited(const QString &arg1);
    void on_pb_DMXFailModeDelayInf_clicked();
    void on_pb_DMXFailModeHoldInf_clicked();
    void on_le_level_editingFinished();

private:
    // Where one edit of a time field stands, from the focus coming in to its commit: whether
    // the user has typed, and whether the commit is still to come. A field commits on Return, on
    // losing the focus and on the editingFinished that follows, and may send at most once.
    struct EditSpan
    {
        bool typed = false;
        bool open = false;
    };
    // One of the two fail-time fields: its widget, its setting, the text it showed before
    // editing began and the state of the edit.
    struct TimeField
    {
        QLineEdit *edit;
        const char *key;
        QString *savedText;
        EditSpan *span;
    };
    TimeField delayField();
    TimeField holdField();

    void labelUpdate();
    void delayUpdate();
    void holdUpdate();
    void levelUpdate();

    void timeFieldUpdate(const TimeField &field);
    void timeFieldCommit(const TimeField &field);
    void timeFieldSend(const TimeField &field, int tenths);
    void timeFieldEdited(const TimeField &field, const QString &text);
    void timeFieldRestore(const TimeField &field);
    void timeFieldFocusIn(const TimeField &field);

    Ui::InfoWidget *ui;
    const Variant variant;
    QString delayText;
    QString holdText;
    EditSpan delaySpan;
    EditSpan holdSpan;
};

// The receiver card's information page.
class InfoWidget2 : public InfoWidget
{
    Q_OBJECT

public:
    explicit InfoWidget2(QWidget *parent = nullptr);

private:
    static const Variant receiverVariant;
};
