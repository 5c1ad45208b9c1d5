#include "pages/InfoWidget.h"

#include "pages/FieldFocus.h"
#include "ui/Theme.h"
#include "unit/FailTime.h"
#include "unit/ModelCatalogue.h"

#include "ui_InfoWidget.h"

#include <QEvent>

const InfoWidget::Variant InfoWidget::dimmerVariant = {"InfoWidget", Family::Dimmer5};
const InfoWidget::Variant InfoWidget2::receiverVariant = {"InfoWidget2", Family::Receiver};

InfoWidget::InfoWidget(QWidget *parent) : InfoWidget(parent, dimmerVariant) {}

InfoWidget::InfoWidget(QWidget *parent, const Variant &variant)
    : BaseWidget(parent), ui(new Ui::InfoWidget), variant(variant)
{
    // The form keeps a name given before it is built, so the receiver card's page is told apart.
    setObjectName(QLatin1String(variant.objectName));
    ui->setupUi(this);
    setFamily(variant.family);

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

    FieldFocus::watch(ui->gb_deviceLabel, ui->l_deviceLabel, ui->le_deviceLabel);
    FieldFocus::watch(ui->gb_DMXFailModeDelay, ui->l_DMXFailModeDelayTime, ui->le_DMXFailModeDelay);
    FieldFocus::watch(ui->gb_DMXFailModeHold, ui->l_DMXFailModeHoldTime, ui->le_DMXFailModeHold);
    FieldFocus::watch(ui->gb_level, ui->l_level, ui->le_level);
    // The time fields also switch between their value and the entry template.
    ui->le_DMXFailModeDelay->installEventFilter(this);
    ui->le_DMXFailModeHold->installEventFilter(this);
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

void InfoWidget::refresh()
{
    const settings::Reading model = readSetting(QStringLiteral("identity.model"));
    if (model.sent)
        ui->lc_modelDesc->setText(getModelName(model.words));
    labelUpdate();
    emit iconUpdateSignal();

    // A version is read in two parts; should only the second fail, the first is shown alone.
    for (const auto &version : {std::make_pair("identity.software", ui->lc_software),
                                std::make_pair("identity.boot", ui->lc_bootSoftware)}) {
        const settings::Reading reading = readSetting(QLatin1String(version.first));
        if (reading.sent)
            version.second->setText(reading.words);
    }
    emit iconUpdateSignal();

    const settings::Reading uid = readSetting(QStringLiteral("identity.uid"));
    if (uid.sent)
        ui->lc_rdmUid->setText(uid.words);
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
    const settings::Reading reading = readSetting(QStringLiteral("device.label"));
    if (reading.sent)
        ui->le_deviceLabel->setText(reading.words);
}

void InfoWidget::on_le_deviceLabel_editingFinished()
{
    // A label too long for the command buffer, or holding a line break, is refused rather than
    // cut or split: the read-back below then shows the user the label the device still holds.
    sendUserText(QStringLiteral("device.label"), ui->le_deviceLabel->text());
    finishEditing(ui->le_deviceLabel);
    labelUpdate();
}

void InfoWidget::on_pb_defaults_clicked()
{
    if (Serial *link = channel())
        settings::factoryReset(*link);
    refresh();
}

InfoWidget::TimeField InfoWidget::delayField()
{
    return {ui->le_DMXFailModeDelay, "failmode.delay", &delayText, &delaySpan};
}

InfoWidget::TimeField InfoWidget::holdField()
{
    return {ui->le_DMXFailModeHold, "failmode.hold", &holdText, &holdSpan};
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
    const settings::Reading reading = readSetting(QStringLiteral("failmode.level"));
    if (reading.sent)
        ui->le_level->setText(reading.words);
}

void InfoWidget::timeFieldUpdate(const TimeField &field)
{
    // A field being edited shows the entry template; a refresh must not take it away.
    if (field.edit->hasFocus())
        return;
    const settings::Reading reading = readSetting(QLatin1String(field.key));
    // Anything that is not a number shows as no time at all.
    if (reading.sent)
        field.edit->setText(failmode::timeText(reading.words.toInt()));
}

void InfoWidget::timeFieldRestore(const TimeField &field)
{
    field.edit->setText(*field.savedText);
    field.span->typed = false;
    // Return on an untouched field keeps the field in editing; only leaving it ends the edit.
    if (!field.edit->hasFocus())
        field.span->open = false;
    timeFieldUpdate(field);
}

void InfoWidget::timeFieldCommit(const TimeField &field)
{
    // The same edit commits again when the field loses the focus and once more through the
    // editingFinished that follows; only the first may send.
    if (!field.span->open)
        return;
    const QString text = field.edit->text();
    std::optional<int> tenths;
    if (field.span->typed && !failmode::holdsNoEntry(text))
        tenths = failmode::tenthsFromText(failmode::zeroFilled(text));
    // Nothing typed, or a time nobody can mean (a negative part): the value from before editing
    // comes back and nothing is sent.
    if (!tenths) {
        timeFieldRestore(field);
        return;
    }
    field.edit->setText(failmode::zeroFilled(text));
    field.span->open = false;
    timeFieldSend(field, *tenths);
    finishEditing(field.edit);
    timeFieldUpdate(field);
}

void InfoWidget::timeFieldSend(const TimeField &field, int tenths)
{
    sendUserText(QLatin1String(field.key), QString::number(tenths));
}

void InfoWidget::timeFieldEdited(const TimeField &field, const QString &text)
{
    field.edit->setText(failmode::laidIntoTemplate(text));
    field.span->typed = true;
}

void InfoWidget::timeFieldFocusIn(const TimeField &field)
{
    *field.savedText = field.edit->text();
    field.edit->setText(failmode::entryTemplate());
    *field.span = {false, true};
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
    sendUserText(QStringLiteral("failmode.level"), ui->le_level->text());
    finishEditing(ui->le_level);
    levelUpdate();
}

bool InfoWidget::eventFilter(QObject *watched, QEvent *event)
{
    const bool focusIn = event->type() == QEvent::FocusIn;
    if ((focusIn || event->type() == QEvent::FocusOut) &&
        (watched == ui->le_DMXFailModeDelay || watched == ui->le_DMXFailModeHold)) {
        const TimeField field = watched == ui->le_DMXFailModeDelay ? delayField() : holdField();
        if (focusIn)
            timeFieldFocusIn(field);
        else
            timeFieldCommit(field);
    }
    // The line edits still handle their focus changes themselves (a focus-out also ends editing).
    return BaseWidget::eventFilter(watched, event);
}

InfoWidget2::InfoWidget2(QWidget *parent) : InfoWidget(parent, receiverVariant) {}
