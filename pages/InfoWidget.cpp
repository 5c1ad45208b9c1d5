#include "pages/InfoWidget.h"

#include "link/ModelCatalogue.h"
#include "link/Serial.h"
#include "link/UserText.h"
#include "link/FailTime.h"
#include "ui/Theme.h"

#include "ui_InfoWidget.h"

#include <QComboBox>
#include <QEvent>

namespace {

const QString fwInfoCommand = QStringLiteral("getFWInfo\n");
const QString fcConfigCommand = QStringLiteral("getFCConfig\n");
// A label runs to the end of its reply: it may hold blanks, so it spans many pieces.
constexpr int toEndOfReply = 65535;
constexpr int modelPiece = 9;

} // namespace

const InfoWidget::Variant InfoWidget::dimmerVariant = {"InfoWidget", "r", 7, 11, 26, 14, 29, 24};
const InfoWidget::Variant InfoWidget2::receiverVariant = {
    "InfoWidget2", "0", 6, 13, 23, 16, 26, 21};

InfoWidget::InfoWidget(QWidget *parent) : InfoWidget(parent, dimmerVariant) {}

InfoWidget::InfoWidget(QWidget *parent, const Variant &variant)
    : BaseWidget(parent), ui(new Ui::InfoWidget), variant(variant)
{
    // The form keeps a name given before it is built, so the receiver card's page is told apart.
    setObjectName(QLatin1String(variant.objectName));
    ui->setupUi(this);

    applyPageStyle(ui->page);
    applyEditGroupStyle(ui->gb_deviceLabel, ui->l_deviceLabel, ui->le_deviceLabel);
    applyEditGroupStyle(ui->gb_DMXFailModeDelay, ui->l_DMXFailModeDelayTime,
                        ui->le_DMXFailModeDelay);
    applyEditGroupStyle(ui->gb_DMXFailModeHold, ui->l_DMXFailModeHoldTime, ui->le_DMXFailModeHold);
    applyEditGroupStyle(ui->gb_level, ui->l_level, ui->le_level);
    applyFrameGroupStyle(ui->gb_DMXFailMode);
    applyLabelStyle(ui->l_DMXFailMode);
    applyLabelStyle(ui->l_DMXFailModeDelay);
    applyLabelStyle(ui->l_DMXFailModeHold);
    for (QLabel *caption :
         {ui->l_modelDesc, ui->l_manufacture, ui->l_software, ui->l_bootSoftware, ui->l_rdmUid})
        applyCaptionStyle(caption);
    for (QLabel *value : {ui->lc_modelDesc, ui->lc_manufacture, ui->lc_software,
                          ui->lc_bootSoftware, ui->lc_rdmUid})
        applyLargeLabelStyle(value);
    applyButtonStyle(ui->pb_defaults);

    for (QLineEdit *edit :
         {ui->le_deviceLabel, ui->le_DMXFailModeDelay, ui->le_DMXFailModeHold, ui->le_level})
        edit->installEventFilter(this);
}

InfoWidget::~InfoWidget()
{
    delete ui;
}

void InfoWidget::setDebug(Debug *debug)
{
    this->debug = debug;
}

void InfoWidget::setSerial(Serial *serial)
{
    this->serial = serial;
}

bool InfoWidget::read(const QString &command, QString &pieces, int first, int last)
{
    return serial && serial->sendCommand(command, pieces, first, last);
}

void InfoWidget::write(const QString &command)
{
    // What the device answers to a set command is not examined: the read-back that follows shows
    // what it actually holds.
    QString ignored;
    if (serial)
        serial->sendCommand(command, ignored);
}

void InfoWidget::refresh()
{
    QString piece;
    if (read(fwInfoCommand, piece, modelPiece, modelPiece))
        ui->lc_modelDesc->setText(getModelName(piece));
    labelUpdate();
    emit iconUpdateSignal();

    const struct
    {
        QLabel *label;
        int firstPiece;
        int secondPiece;
    } versions[] = {{ui->lc_software, variant.softwarePiece, variant.softwareSecondPiece},
                    {ui->lc_bootSoftware, variant.bootPiece, variant.bootSecondPiece}};
    for (const auto &version : versions) {
        QString first;
        if (!read(fwInfoCommand, first, version.firstPiece, version.firstPiece))
            continue;
        // Should the second query fail, the first half alone still identifies the firmware; a
        // stale second half would not.
        QString second;
        if (read(fcConfigCommand, second, version.secondPiece, version.secondPiece))
            version.label->setText(first + QStringLiteral(", ") + second);
        else
            version.label->setText(first);
    }
    emit iconUpdateSignal();

    if (read(fcConfigCommand, piece, variant.uidPiece, variant.uidPiece))
        ui->lc_rdmUid->setText(piece);
    delayUpdate();
    emit iconUpdateSignal();
    holdUpdate();
    levelUpdate();
}

void InfoWidget::labelUpdate()
{
    // Never overwrite what the user is typing.
    if (ui->le_deviceLabel->hasFocus())
        return;
    QString pieces;
    if (!read(QStringLiteral("getRdmLabel %1\n").arg(QLatin1String(variant.labelTarget)), pieces,
              variant.labelFirstPiece, toEndOfReply))
        return;
    QString label;
    serial->extractQuoted(pieces, label, QStringLiteral("'"));
    ui->le_deviceLabel->setText(label);
}

void InfoWidget::on_le_deviceLabel_editingFinished()
{
    const QString command =
        QStringLiteral("setRdmLabel %1 \"%2\"\n")
            .arg(QLatin1String(variant.labelTarget), ui->le_deviceLabel->text());
    // A label too long for the device's line buffer, or holding a line break, is refused rather
    // than cut or split: the read-back below then shows the user the label the device still holds.
    if (command::isSendable(command))
        write(command);
    ui->le_deviceLabel->clearFocus();
    labelUpdate();
}

void InfoWidget::on_pb_defaults_clicked()
{
    QString ignored;
    read(QStringLiteral("setUserDefaults\n"), ignored, 1, 1);
    refresh();
}

InfoWidget::TimeField InfoWidget::delayField()
{
    return {ui->gb_DMXFailModeDelay, ui->l_DMXFailModeDelayTime,
            ui->le_DMXFailModeDelay, &delayText,
            "getDataLossDelay\n",    "setDataLossDelay %1\n"};
}

InfoWidget::TimeField InfoWidget::holdField()
{
    return {ui->gb_DMXFailModeHold, ui->l_DMXFailModeHoldTime, ui->le_DMXFailModeHold, &holdText,
            "getDataLossHold\n",    "setDataLossHold %1\n"};
}

void InfoWidget::delayUpdate()
{
    timeFieldUpdate(delayField());
}

void InfoWidget::holdUpdate()
{
    timeFieldUpdate(holdField());
}

void InfoWidget::levelUpdate()
{
    if (ui->le_level->hasFocus())
        return;
    QString piece;
    if (read(QStringLiteral("getDataLossLevel\n"), piece, 6, 6))
        ui->le_level->setText(piece);
}

void InfoWidget::timeFieldUpdate(const TimeField &field)
{
    // A field being edited shows the entry template; a refresh must not take it away.
    if (field.edit->hasFocus())
        return;
    QString piece;
    if (read(QLatin1String(field.getCommand), piece, 7, 7))
        field.edit->setText(failmode::timeText(piece.toInt()));
}

void InfoWidget::timeFieldSend(const TimeField &field, int tenths)
{
    write(QString(QLatin1String(field.setCommand)).arg(tenths));
}

void InfoWidget::timeFieldCommit(const TimeField &field)
{
    const QString text = field.edit->text();
    if (failmode::holdsNoEntry(text)) {
        // Nothing was typed: show the value from before editing again and send nothing.
        field.edit->setText(*field.savedText);
    } else {
        const QString filled = failmode::zeroFilled(text);
        field.edit->setText(filled);
        timeFieldSend(field, failmode::tenthsFromText(filled).value_or(0));
        field.edit->clearFocus();
    }
    timeFieldUpdate(field);
}

void InfoWidget::timeFieldEdited(const TimeField &field, const QString &text)
{
    field.edit->setText(failmode::laidIntoTemplate(text));
}

void InfoWidget::timeFieldFocusIn(const TimeField &field)
{
    *field.savedText = field.edit->text();
    field.edit->setText(failmode::entryTemplate());
    applyEditGroupFocusStyle(field.group, field.caption, field.edit);
}

void InfoWidget::on_le_DMXFailModeDelay_editingFinished()
{
    timeFieldCommit(delayField());
}

void InfoWidget::on_le_DMXFailModeHold_editingFinished()
{
    timeFieldCommit(holdField());
}

void InfoWidget::on_le_DMXFailModeDelay_textEdited(const QString &arg1)
{
    timeFieldEdited(delayField(), arg1);
}

void InfoWidget::on_le_DMXFailModeHold_textEdited(const QString &arg1)
{
    timeFieldEdited(holdField(), arg1);
}

void InfoWidget::on_pb_DMXFailModeDelayInf_clicked()
{
    timeFieldSend(delayField(), failmode::infiniteTenths);
    delayUpdate();
}

void InfoWidget::on_pb_DMXFailModeHoldInf_clicked()
{
    timeFieldSend(holdField(), failmode::infiniteTenths);
    holdUpdate();
}

void InfoWidget::on_le_level_editingFinished()
{
    const QString command = QStringLiteral("setDataLossLevel %1\n").arg(ui->le_level->text());
    if (command::isSendable(command))
        write(command);
    ui->le_level->clearFocus();
    levelUpdate();
}

bool InfoWidget::eventFilter(QObject *watched, QEvent *event)
{
    // Scrolling over a combo box must never change a setting.
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox *>(watched))
        return true;
    const bool focusIn = event->type() == QEvent::FocusIn;
    const bool focusOut = event->type() == QEvent::FocusOut;
    if (!focusIn && !focusOut)
        return false;

    if (watched == ui->le_deviceLabel || watched == ui->le_level) {
        QGroupBox *group = watched == ui->le_level ? ui->gb_level : ui->gb_deviceLabel;
        QLabel *caption = watched == ui->le_level ? ui->l_level : ui->l_deviceLabel;
        QLineEdit *edit = static_cast<QLineEdit *>(watched);
        if (focusIn)
            applyEditGroupFocusStyle(group, caption, edit);
        else
            applyEditGroupStyle(group, caption, edit);
    } else if (watched == ui->le_DMXFailModeDelay || watched == ui->le_DMXFailModeHold) {
        const TimeField field = watched == ui->le_DMXFailModeDelay ? delayField() : holdField();
        if (focusIn) {
            timeFieldFocusIn(field);
        } else {
            timeFieldCommit(field);
            applyEditGroupStyle(field.group, field.caption, field.edit);
        }
    }
    // The line edits still handle their focus changes themselves (a focus-out also ends editing).
    return false;
}

InfoWidget2::InfoWidget2(QWidget *parent) : InfoWidget(parent, receiverVariant) {}
