#pragma once

#include "pages/BaseWidget.h"

#include <QString>

class QEvent;
class QGroupBox;
class QLabel;
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
    struct Variant
    {
        const char *objectName;
        const char *labelTarget; // the device label's name in getRdmLabel/setRdmLabel
        int labelFirstPiece;
        int softwarePiece;       // in getFWInfo
        int softwareSecondPiece; // in getFCConfig
        int bootPiece;           // in getFWInfo
        int bootSecondPiece;     // in getFCConfig
        int uidPiece;            // in getFCConfig
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
    // One of the two fail-time fields: its widgets, the text it showed before editing began and
    // the commands that read and write its value.
    struct TimeField
    {
        QGroupBox *group;
        QLabel *caption;
        QLineEdit *edit;
        QString *savedText;
        const char *getCommand;
        const char *setCommand;
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
    void timeFieldFocusIn(const TimeField &field);

    // Reads pieces first..last of the reply to command; false when the channel is missing or
    // closed, in which case the caller leaves its widget alone.
    bool read(const QString &command, QString &pieces, int first, int last);
    void write(const QString &command);

    Ui::InfoWidget *ui;
    const Variant variant;
    QString delayText;
    QString holdText;
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
