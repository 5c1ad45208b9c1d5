#include "pages/DmxWidget.h"
#include "ui_DmxWidget.h"

#include "link/ModelCatalogue.h"
#include "link/Serial.h"
#include "link/UserText.h"
#include "ui/Theme.h"

#include <QComboBox>
#include <QEvent>

namespace {

void styleEditGroup(QGroupBox *group, QLabel *caption, QLineEdit *edit, bool focused)
{
    if (focused)
        applyEditGroupFocusStyle(group, caption, edit);
    else
        applyEditGroupStyle(group, caption, edit);
}

void styleComboGroup(QGroupBox *group, QLabel *caption, QComboBox *combo, bool focused)
{
    if (focused)
        applyComboGroupFocusStyle(group, caption, combo);
    else
        applyComboGroupStyle(group, caption, combo);
}

} // namespace

// The dimmers keep the port label in slot "p", the receiver cards in slot "1";
// the receiver card's answer has one word less before the quoted label.
const DmxWidget::Variant DmxWidget::dimmerVariant{"DmxWidget", "p", 7, true};
const DmxWidget::Variant DmxWidget::receiverVariant{"DmxWidget2", "1", 6, false};

DmxWidget::DmxWidget(const QString &model, QWidget *parent)
    : DmxWidget(dimmerVariant, model, parent)
{
}

DmxWidget::DmxWidget(const Variant &variant, const QString &model, QWidget *parent)
    : BaseWidget(parent), ui(new Ui::DmxWidget), m_variant(variant)
{
    // Named before the form is built: the form only names a widget that has no
    // name yet.
    setObjectName(QString::fromLatin1(variant.objectName));
    ui->setupUi(this);

    applyPageStyle(ui->page);
    applyCheckBoxStyle(ui->c_RDMTrafficEnable);
    applyEditGroupStyle(ui->gb_DMXPortLabel, ui->l_DMXPortLabel, ui->le_DMXPortLabel);
    applyEditGroupStyle(ui->gb_Universe, ui->l_Universe, ui->le_Universe);
    applyEditGroupStyle(ui->gb_DMXAddress, ui->l_DMXAddress, ui->le_DMXAddress);

    ui->le_DMXPortLabel->installEventFilter(this);
    ui->le_Universe->installEventFilter(this);
    ui->le_DMXAddress->installEventFilter(this);

    if (variant.hasPersonality) {
        applyComboGroupStyle(ui->gb_DMXPersonality, ui->l_DMXPersonality, ui->cb_DMXPersonality);
        const int channels = getModelChannels(model);
        ui->cb_DMXPersonality->addItem(tr("1 - 8-bit (%1ch)").arg(channels));
        ui->cb_DMXPersonality->addItem(tr("2 - 16-bit (%1ch)").arg(channels * 2));
        ui->cb_DMXPersonality->installEventFilter(this);
    } else {
        // A device without personalities must not even offer the field.
        delete ui->gb_DMXPersonality;
        ui->gb_DMXPersonality = nullptr;
        ui->l_DMXPersonality = nullptr;
        ui->cb_DMXPersonality = nullptr;
    }
}

DmxWidget::~DmxWidget()
{
    delete ui;
}

void DmxWidget::setDebug(Debug *debug)
{
    BaseWidget::setDebug(debug);
}

void DmxWidget::setSerial(Serial *serial)
{
    BaseWidget::setSerial(serial);
}

void DmxWidget::refresh()
{
    emit iconUpdateSignal();
    rdmTrafficUpdate();
    labelUpdate();
    emit iconUpdateSignal();
    universeUpdate();
    dmxAddressUpdate();
    emit iconUpdateSignal();
    if (m_variant.hasPersonality)
        personalityUpdate();
}

bool DmxWidget::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        const bool focused = type == QEvent::FocusIn;
        if (watched == ui->le_DMXPortLabel)
            styleEditGroup(ui->gb_DMXPortLabel, ui->l_DMXPortLabel, ui->le_DMXPortLabel, focused);
        else if (watched == ui->le_Universe)
            styleEditGroup(ui->gb_Universe, ui->l_Universe, ui->le_Universe, focused);
        else if (watched == ui->le_DMXAddress)
            styleEditGroup(ui->gb_DMXAddress, ui->l_DMXAddress, ui->le_DMXAddress, focused);
        else if (ui->cb_DMXPersonality && watched == ui->cb_DMXPersonality)
            styleComboGroup(ui->gb_DMXPersonality, ui->l_DMXPersonality, ui->cb_DMXPersonality,
                            focused);
    }
    // Scrolling the page over a combo box must never change a device setting.
    return type == QEvent::Wheel && qobject_cast<QComboBox *>(watched);
}

void DmxWidget::sendText(const QString &line)
{
    // A line the device could not hold, or user text that would make it more than
    // one command line, is not sent at all; the read-back that follows then shows
    // the user that nothing changed.
    if (!serial || !command::isSendable(line))
        return;
    QString reply;
    serial->sendCommand(line, reply);
}

void DmxWidget::rdmTrafficUpdate()
{
    QString word;
    if (!serial || !serial->sendCommand(QStringLiteral("getRdmTraffic\n"), word, 4, 4))
        return;
    const bool enabled = word.contains(QLatin1String("enabled"));
    ui->c_RDMTrafficEnable->setChecked(enabled);
    ui->c_RDMTrafficEnable->setText(enabled ? tr("RDM Traffic Enabled")
                                            : tr("RDM Traffic Disabled"));
}

void DmxWidget::labelUpdate()
{
    if (ui->le_DMXPortLabel->hasFocus() || !serial)
        return;
    const QString command =
        QStringLiteral("getRdmLabel %1\n").arg(QString::fromLatin1(m_variant.labelTarget));
    QString words;
    if (!serial->sendCommand(command, words, m_variant.labelFirstWord, 65535))
        return;
    QString label;
    serial->extractQuoted(words, label, QStringLiteral("'"));
    ui->le_DMXPortLabel->setText(label);
}

void DmxWidget::universeUpdate()
{
    QString word;
    if (ui->le_Universe->hasFocus() || !serial ||
        !serial->sendCommand(QStringLiteral("getUniverse\n"), word, 4, 4))
        return;
    ui->le_Universe->setText(word);
}

void DmxWidget::dmxAddressUpdate()
{
    QString word;
    if (ui->le_DMXAddress->hasFocus() || !serial ||
        !serial->sendCommand(QStringLiteral("getDmxAddress\n"), word, 6, 6))
        return;
    ui->le_DMXAddress->setText(word);
}

void DmxWidget::personalityUpdate()
{
    // A failed read leaves the word empty and so falls back to 8-bit.
    QString word;
    if (serial)
        serial->sendCommand(QStringLiteral("getDmxPersonality\n"), word, 7, 7);
    ui->cb_DMXPersonality->setCurrentIndex(word.contains(QLatin1String("16-bit")) ? indexSixteenBit
                                                                                  : indexEightBit);
}

void DmxWidget::on_c_RDMTrafficEnable_clicked()
{
    const bool enabled = ui->c_RDMTrafficEnable->isChecked();
    sendText(enabled ? QStringLiteral("setRdmTraffic 1\n") : QStringLiteral("setRdmTraffic 0\n"));
    ui->c_RDMTrafficEnable->setText(enabled ? tr("RDM Traffic Enabled")
                                            : tr("RDM Traffic Disabled"));
    rdmTrafficUpdate();
}

void DmxWidget::on_le_Universe_editingFinished()
{
    sendText(QStringLiteral("setUniverse ") + ui->le_Universe->text() + QLatin1Char('\n'));
    ui->le_Universe->clearFocus();
    universeUpdate();
}

void DmxWidget::on_le_DMXAddress_editingFinished()
{
    sendText(QStringLiteral("setDmxAddress ") + ui->le_DMXAddress->text() + QLatin1Char('\n'));
    ui->le_DMXAddress->clearFocus();
    dmxAddressUpdate();
}

void DmxWidget::on_cb_DMXPersonality_activated(const QString &arg1)
{
    // The entry numbers shown to the user are not the device's values: 8-bit is
    // 0, 16-bit is 1.
    sendText(arg1.contains(QLatin1String("16-bit")) ? QStringLiteral("setDmxPersonality 1\n")
                                                    : QStringLiteral("setDmxPersonality 0\n"));
    personalityUpdate();
}

void DmxWidget::on_le_DMXPortLabel_editingFinished()
{
    // Sent as typed, quotes and all; a single-pass arg() keeps "%1" in a label
    // literal.
    sendText(QStringLiteral("setRdmLabel %1 \"%2\"\n")
                 .arg(QString::fromLatin1(m_variant.labelTarget), ui->le_DMXPortLabel->text()));
    ui->le_DMXPortLabel->clearFocus();
    labelUpdate();
}

DmxWidget2::DmxWidget2(QWidget *parent) : DmxWidget(receiverVariant, QString(), parent) {}

void DmxWidget2::onPwmZeroTenChanged(bool pwm, bool zeroTen)
{
    // The start address only matters to an output that is switched on.
    ui->gb_DMXAddress->setVisible(pwm || zeroTen);
}
