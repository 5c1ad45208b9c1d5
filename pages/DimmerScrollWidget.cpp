#include "pages/DimmerScrollWidget.h"

#include "pages/ChannelTables.h"
#include "pages/FieldFocus.h"
#include "ui/Theme.h"
#include "unit/UserText.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

using channels::commandLetter;
using channels::fields;

namespace {

QString lookupKey(int index, const QString &type, const QString &group)
{
    return QString::number(index) + QLatin1Char('/') + type + QLatin1Char('/') + group;
}

const char *const typeGroupBox = "group_box";
const char *const typeLabel = "label";
const char *const typeLineEdit = "line_edit";
const char *const typeComboBox = "combo_box";

void place(QWidget *widget, int x, int y, int width, int height)
{
    widget->setFixedSize(width, height);
    widget->move(x, y);
    widget->show();
}

int channelIndex(char channel)
{
    return channel - 'a';
}

} // namespace

DimmerScrollWidget::DimmerScrollWidget(QWidget *owner) : BaseWidget(owner), m_owner(owner) {}

DimmerScrollWidget::~DimmerScrollWidget() = default;

QWidget *DimmerScrollWidget::buildChannels(int count)
{
    // A second build replaces the first; the old fields must not linger in the registry.
    m_registry.clear();
    m_lookup.clear();
    delete m_content;

    count = qBound(0, count, channels::maxChannels);
    m_content = new QWidget(m_owner);
    m_content->setFixedSize(channels::contentWidth, channels::channelPitch * count);
    applyPageStyle(m_content);
    for (int i = 0; i < count; ++i)
        buildChannel(i);
    m_channelCount = count;
    setFamily(count > catalogue::familyChannels(Family::Dimmer2) ? Family::Dimmer5
                                                                 : Family::Dimmer2);
    return m_content;
}

void DimmerScrollWidget::buildChannel(int index)
{
    const int y0 = channels::channelPitch * index;

    auto *heading = new QLabel(tr("Dimmer ") + channels::headingLetter(index), m_content);
    applyLabelStyle(heading);
    place(heading, 30, y0 + 10, 290, 16);

    auto *frame = new QGroupBox(m_content);
    applyFrameGroupStyle(frame);
    place(frame, 10, y0 + 30, 330, 360);

    for (const channels::Field &setting : fields) {
        auto *group = new QGroupBox(frame);
        registerWidget(group, index, setting.group, typeGroupBox);
        place(group, 10, setting.y, 310, 60);

        auto *caption =
            new QLabel(QCoreApplication::translate("DimmerScrollWidget", setting.caption), group);
        registerWidget(caption, index, setting.group, typeLabel);
        place(caption, 10, 10, 290, 16);

        if (setting.isCombo) {
            auto *box = new QComboBox(group);
            box->addItems(channels::itemsOf(setting));
            registerWidget(box, index, setting.group, typeComboBox);
            place(box, 10, 30, 290, 20);
            connect(box, SIGNAL(activated(int)), this, SLOT(activated(int)));
            applyComboGroupStyle(group, caption, box);
            FieldFocus::watch(group, caption, box);
        } else {
            auto *field = new QLineEdit(
                QCoreApplication::translate("DimmerScrollWidget", setting.initialText), group);
            registerWidget(field, index, setting.group, typeLineEdit);
            place(field, 10, 30, 290, 20);
            connect(field, SIGNAL(editingFinished()), this, SLOT(editingFinished()));
            applyEditGroupStyle(group, caption, field);
            FieldFocus::watch(group, caption, field);
        }
    }
}

void DimmerScrollWidget::registerWidget(QWidget *widget, int index, const char *group,
                                        const char *type)
{
    widget->setProperty("index", index);
    widget->setProperty("group", QString::fromLatin1(group));
    widget->setProperty("type", QString::fromLatin1(type));
    m_registry.append(widget);
    const QString key = lookupKey(index, QString::fromLatin1(type), QString::fromLatin1(group));
    if (!m_lookup.contains(key))
        m_lookup.insert(key, widget);
}

void DimmerScrollWidget::releaseFields()
{
    for (const QPointer<QWidget> &widget : qAsConst(m_registry)) {
        if (widget)
            disconnect(widget, nullptr, this, nullptr);
    }
    m_registry.clear();
    m_lookup.clear();
    m_channelCount = 0;
    m_content = nullptr;
}

QWidget *DimmerScrollWidget::contentWidget() const
{
    return m_content;
}

void DimmerScrollWidget::setApplyToAll(bool on)
{
    m_applyToAll = on;
}

QWidget *DimmerScrollWidget::findChannelWidget(int index, const QString &type,
                                               const QString &group) const
{
    // Same answer as walking the registry from the front: the lookup keeps the first widget
    // registered under each key, and the properties never change after registration.
    return m_lookup.value(lookupKey(index, type, group)).data();
}

QLineEdit *DimmerScrollWidget::channelLineEdit(int index, const char *group) const
{
    return qobject_cast<QLineEdit *>(
        findChannelWidget(index, QLatin1String(typeLineEdit), QLatin1String(group)));
}

QComboBox *DimmerScrollWidget::channelComboBox(int index, const char *group) const
{
    return qobject_cast<QComboBox *>(
        findChannelWidget(index, QLatin1String(typeComboBox), QLatin1String(group)));
}

void DimmerScrollWidget::setDebug(Debug *debug)
{
    BaseWidget::setDebug(debug);
}

void DimmerScrollWidget::setSerial(Serial *serial)
{
    BaseWidget::setSerial(serial);
    m_serial = serial;
}

Serial *DimmerScrollWidget::channel() const
{
    return m_serial.data();
}

void DimmerScrollWidget::refresh()
{
    // Pending events run between channels, and a background refresh may be among them. The outer
    // refresh is already reading every channel, so the nested one has nothing to add.
    if (m_refreshing)
        return;
    m_refreshing = true;

    QPointer<DimmerScrollWidget> self(this);
    // The shell may close the channel or announce a different device while events run; the rest
    // of this refresh would then read a device these fields no longer belong to.
    const bool wasOpen = m_serial && m_serial->isOpen();
    const QString portName = m_serial ? m_serial->portName() : QString();
    const QString prompt = m_serial ? m_serial->prompt() : QString();
    auto deviceStillSame = [&]() {
        if (!m_serial)
            return false;
        if (!wasOpen)
            return true;
        return m_serial->isOpen() && m_serial->portName() == portName &&
               m_serial->prompt() == prompt;
    };

    for (int i = 0; i < m_channelCount; ++i) {
        const char channel = commandLetter(i);
        if (QLineEdit *field = channelLineEdit(i, fields[channels::Label].group))
            labelUpdate(field, channel);
        if (QComboBox *box = channelComboBox(i, fields[channels::Curve].group))
            curveUpdate(box, channel);
        emit iconUpdateSignal();
        if (!self)
            return;
        if (QComboBox *box = channelComboBox(i, fields[channels::RespTime].group))
            respTimeUpdate(box, channel);
        if (QComboBox *box = channelComboBox(i, fields[channels::Modulation].group))
            modulationUpdate(box, channel);
        if (QLineEdit *field = channelLineEdit(i, fields[channels::Offset].group))
            offsetUpdate(field, channel);
        emit iconUpdateSignal();
        if (!self)
            return;

        QCoreApplication::processEvents();
        // Anything may have happened meanwhile: this editor deleted (nothing of it may be touched
        // any more), its fields deleted with the page, or the channel closed or switched.
        if (!self)
            return;
        if (!m_content || !deviceStillSame())
            break;
    }
    m_refreshing = false;
}

QString DimmerScrollWidget::keyOf(int field, char channel) const
{
    return channels::settingKey(channelIndex(channel), fields[field]);
}

void DimmerScrollWidget::textUpdate(QLineEdit *lineEdit, int field, char channel)
{
    // The user is typing into it; a read would overwrite the text being edited.
    if (lineEdit->hasFocus())
        return;
    const settings::Reading reading = readSetting(keyOf(field, channel));
    if (reading.sent)
        lineEdit->setText(reading.words);
}

void DimmerScrollWidget::labelUpdate(QLineEdit *lineEdit, char channel)
{
    textUpdate(lineEdit, channels::Label, channel);
}

void DimmerScrollWidget::offsetUpdate(QLineEdit *lineEdit, char channel)
{
    textUpdate(lineEdit, channels::Offset, channel);
}

void DimmerScrollWidget::comboUpdate(QComboBox *comboBox, int field, char channel)
{
    // Whether or not the device answered, the box shows the value read: nothing read is 0, the
    // first item. A value outside the table leaves no item selected.
    const settings::Reading reading = readSetting(keyOf(field, channel));
    comboBox->setCurrentIndex(reading.words.trimmed().toInt());
}

void DimmerScrollWidget::curveUpdate(QComboBox *comboBox, char channel)
{
    comboUpdate(comboBox, channels::Curve, channel);
}

void DimmerScrollWidget::respTimeUpdate(QComboBox *comboBox, char channel)
{
    comboUpdate(comboBox, channels::RespTime, channel);
}

void DimmerScrollWidget::modulationUpdate(QComboBox *comboBox, char channel)
{
    comboUpdate(comboBox, channels::Modulation, channel);
}

void DimmerScrollWidget::writeCombo(QComboBox *comboBox, int field, char channel)
{
    sendUserText(keyOf(field, channel), QString::number(comboBox->currentIndex()));
    comboUpdate(comboBox, field, channel);
}

void DimmerScrollWidget::writeCurve(QComboBox *comboBox, char channel)
{
    writeCombo(comboBox, channels::Curve, channel);
}

void DimmerScrollWidget::writeRespTime(QComboBox *comboBox, char channel)
{
    writeCombo(comboBox, channels::RespTime, channel);
}

void DimmerScrollWidget::writeModulation(QComboBox *comboBox, char channel)
{
    writeCombo(comboBox, channels::Modulation, channel);
}

void DimmerScrollWidget::writeText(QLineEdit *lineEdit, int field, char channel)
{
    // Text too long for the command buffer, or holding a line break, is not sent at all: cut
    // short or split it would store a different label than the one typed, or run a command of
    // its own. The read-back then shows what the device still has.
    sendUserText(keyOf(field, channel), lineEdit->text());
    finishEditing(lineEdit);
    textUpdate(lineEdit, field, channel);
}

void DimmerScrollWidget::writeLabel(QLineEdit *lineEdit, char channel)
{
    writeText(lineEdit, channels::Label, channel);
}

void DimmerScrollWidget::writeOffset(QLineEdit *lineEdit, char channel)
{
    writeText(lineEdit, channels::Offset, channel);
}

bool DimmerScrollWidget::isSendable(int field, char channel, const QString &text) const
{
    const settings::Setting *setting = settings::find(family(), keyOf(field, channel));
    return setting && command::isSendable(settings::setCommand(*setting, text));
}

void DimmerScrollWidget::editingFinished()
{
    auto *lineEdit = qobject_cast<QLineEdit *>(sender());
    if (!lineEdit)
        return;
    const int field = channels::fieldOfGroup(lineEdit->property("group").toString());
    if (field != channels::Label && field != channels::Offset)
        return;
    const char channel = commandLetter(lineEdit->property("index").toInt());

    if (!m_applyToAll) {
        writeText(lineEdit, field, channel);
        return;
    }
    // Text that cannot be sent to one channel cannot be sent to any; going through the channels
    // would only read each of their values into this field in turn.
    if (!isSendable(field, channel, lineEdit->text())) {
        finishEditing(lineEdit);
        textUpdate(lineEdit, field, channel);
        return;
    }
    const QPointer<QLineEdit> guard(lineEdit);
    for (int i = 0; i < m_channelCount && guard; ++i)
        writeText(lineEdit, field, commandLetter(i));
}

void DimmerScrollWidget::activated(int i)
{
    Q_UNUSED(i);
    auto *box = qobject_cast<QComboBox *>(sender());
    if (!box)
        return;
    const int field = channels::fieldOfGroup(box->property("group").toString());
    if (field < 0 || !fields[field].isCombo)
        return;

    if (!m_applyToAll) {
        writeCombo(box, field, commandLetter(box->property("index").toInt()));
        return;
    }
    const QPointer<QComboBox> guard(box);
    for (int c = 0; c < m_channelCount && guard; ++c)
        writeCombo(box, field, commandLetter(c));
}
