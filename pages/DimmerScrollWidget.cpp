#include "pages/DimmerScrollWidget.h"

#include "pages/ChannelTables.h"
#include "link/UserText.h"
#include "ui/Theme.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <cstdio>

using channels::commandLetter;
using channels::settings;

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

// Commands without user text: a channel letter and at most one number always fit the buffer.
QString formatCommand(const char *format, char channel)
{
    char buffer[command::bufferSize];
    std::snprintf(buffer, sizeof buffer, format, channel);
    return QString::fromUtf8(buffer);
}

QString formatCommand(const char *format, char channel, int value)
{
    char buffer[command::bufferSize];
    std::snprintf(buffer, sizeof buffer, format, channel, value);
    return QString::fromUtf8(buffer);
}

int settingOfGroup(const QString &group)
{
    for (int s = 0; s < channels::SettingCount; ++s) {
        if (group == QLatin1String(settings[s].group))
            return s;
    }
    return -1;
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

    for (const channels::Setting &setting : settings) {
        auto *group = new QGroupBox(frame);
        registerWidget(group, index, setting.group, typeGroupBox);
        place(group, 10, setting.y, 310, 60);

        auto *caption =
            new QLabel(QCoreApplication::translate("DimmerScrollWidget", setting.caption), group);
        registerWidget(caption, index, setting.group, typeLabel);
        place(caption, 10, 10, 290, 16);

        if (setting.isCombo()) {
            auto *box = new QComboBox(group);
            box->addItems(channels::itemsOf(setting));
            registerWidget(box, index, setting.group, typeComboBox);
            place(box, 10, 30, 290, 20);
            box->installEventFilter(this);
            connect(box, SIGNAL(activated(int)), this, SLOT(activated(int)));
            applyComboGroupStyle(group, caption, box);
        } else {
            auto *field = new QLineEdit(
                QCoreApplication::translate("DimmerScrollWidget", setting.initialText), group);
            registerWidget(field, index, setting.group, typeLineEdit);
            place(field, 10, 30, 290, 20);
            field->installEventFilter(this);
            connect(field, SIGNAL(editingFinished()), this, SLOT(editingFinished()));
            applyEditGroupStyle(group, caption, field);
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
        if (widget) {
            widget->removeEventFilter(this);
            disconnect(widget, nullptr, this, nullptr);
        }
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

bool DimmerScrollWidget::channelUsable() const
{
    return !m_serial.isNull();
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
        if (QLineEdit *field = channelLineEdit(i, settings[channels::Label].group))
            labelUpdate(field, channel);
        if (QComboBox *box = channelComboBox(i, settings[channels::Curve].group))
            curveUpdate(box, channel);
        emit iconUpdateSignal();
        if (!self)
            return;
        if (QComboBox *box = channelComboBox(i, settings[channels::RespTime].group))
            respTimeUpdate(box, channel);
        if (QComboBox *box = channelComboBox(i, settings[channels::Modulation].group))
            modulationUpdate(box, channel);
        if (QLineEdit *field = channelLineEdit(i, settings[channels::Offset].group))
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

void DimmerScrollWidget::labelUpdate(QLineEdit *lineEdit, char channel)
{
    // The user is typing into it; a read would overwrite the text being edited.
    if (lineEdit->hasFocus() || !channelUsable())
        return;
    QString reply;
    if (m_serial->sendCommand(formatCommand(settings[channels::Label].getFormat, channel), reply, 7,
                              65535)) {
        QString label;
        m_serial->extractQuoted(reply, label, QStringLiteral("'"));
        lineEdit->setText(label);
    }
}

void DimmerScrollWidget::offsetUpdate(QLineEdit *lineEdit, char channel)
{
    if (lineEdit->hasFocus() || !channelUsable())
        return;
    QString reply;
    if (m_serial->sendCommand(formatCommand(settings[channels::Offset].getFormat, channel), reply,
                              6, 6))
        lineEdit->setText(reply);
}

void DimmerScrollWidget::comboUpdate(QComboBox *comboBox, int setting, char channel)
{
    // Whether or not the device answered, the box shows the value read: nothing read is 0, the
    // first item. A value outside the table leaves no item selected.
    QString reply;
    if (channelUsable())
        m_serial->sendCommand(formatCommand(settings[setting].getFormat, channel), reply, 6, 6);
    comboBox->setCurrentIndex(reply.trimmed().toInt());
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

void DimmerScrollWidget::writeCombo(QComboBox *comboBox, int setting, char channel)
{
    if (channelUsable()) {
        QString reply;
        m_serial->sendCommand(
            formatCommand(settings[setting].setFormat, channel, comboBox->currentIndex()), reply);
    }
    comboUpdate(comboBox, setting, channel);
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

QString DimmerScrollWidget::textCommand(int setting, char channel, const QString &text) const
{
    // Built by substitution rather than through a C format so that the text goes in whole, as
    // typed, whatever it holds; whether the line may be sent at all is checked by the caller.
    QByteArray line(settings[setting].setFormat);
    line.replace("%c", QByteArray(1, channel));
    line.replace("%s", text.toUtf8());
    return QString::fromUtf8(line);
}

void DimmerScrollWidget::finishLineEdit(QLineEdit *lineEdit)
{
    // Losing focus makes a line edit report editingFinished again, which would send the same
    // write a second time from inside this one.
    const QSignalBlocker blocker(lineEdit);
    lineEdit->clearFocus();
}

void DimmerScrollWidget::writeLabel(QLineEdit *lineEdit, char channel)
{
    const QString line = textCommand(channels::Label, channel, lineEdit->text());
    // A label too long for the device's buffer, or holding a line break, is not sent at all: cut
    // short or split it would store a different label than the one typed, or run a command of
    // its own. The read-back then shows what the device still has.
    if (channelUsable() && command::isSendable(line)) {
        QString reply;
        m_serial->sendCommand(line, reply);
    }
    finishLineEdit(lineEdit);
    labelUpdate(lineEdit, channel);
}

void DimmerScrollWidget::writeOffset(QLineEdit *lineEdit, char channel)
{
    const QString line = textCommand(channels::Offset, channel, lineEdit->text());
    if (channelUsable() && command::isSendable(line)) {
        QString reply;
        m_serial->sendCommand(line, reply);
    }
    finishLineEdit(lineEdit);
    offsetUpdate(lineEdit, channel);
}

void DimmerScrollWidget::editingFinished()
{
    auto *field = qobject_cast<QLineEdit *>(sender());
    if (!field)
        return;
    const QString group = field->property("group").toString();
    void (DimmerScrollWidget::*write)(QLineEdit *, char) = nullptr;
    void (DimmerScrollWidget::*read)(QLineEdit *, char) = nullptr;
    int setting = -1;
    if (group == QLatin1String(settings[channels::Label].group)) {
        write = &DimmerScrollWidget::writeLabel;
        read = &DimmerScrollWidget::labelUpdate;
        setting = channels::Label;
    } else if (group == QLatin1String(settings[channels::Offset].group)) {
        write = &DimmerScrollWidget::writeOffset;
        read = &DimmerScrollWidget::offsetUpdate;
        setting = channels::Offset;
    } else {
        return;
    }
    const int index = field->property("index").toInt();

    if (!m_applyToAll) {
        (this->*write)(field, commandLetter(index));
        return;
    }
    // Text that cannot be sent to one channel cannot be sent to any; going through the channels
    // would only read each of their values into this field in turn.
    if (!command::isSendable(textCommand(setting, commandLetter(index), field->text()))) {
        finishLineEdit(field);
        (this->*read)(field, commandLetter(index));
        return;
    }
    const QPointer<QLineEdit> guard(field);
    for (int i = 0; i < m_channelCount && guard; ++i)
        (this->*write)(field, commandLetter(i));
}

void DimmerScrollWidget::activated(int i)
{
    Q_UNUSED(i);
    auto *box = qobject_cast<QComboBox *>(sender());
    if (!box)
        return;
    const int setting = settingOfGroup(box->property("group").toString());
    if (setting < 0 || !settings[setting].isCombo())
        return;
    void (DimmerScrollWidget::*write)(QComboBox *, char) = nullptr;
    switch (setting) {
    case channels::Curve:
        write = &DimmerScrollWidget::writeCurve;
        break;
    case channels::RespTime:
        write = &DimmerScrollWidget::writeRespTime;
        break;
    default:
        write = &DimmerScrollWidget::writeModulation;
        break;
    }

    if (!m_applyToAll) {
        (this->*write)(box, commandLetter(box->property("index").toInt()));
        return;
    }
    const QPointer<QComboBox> guard(box);
    for (int c = 0; c < m_channelCount && guard; ++c)
        (this->*write)(box, commandLetter(c));
}

void DimmerScrollWidget::applyGroupStyle(QWidget *input, bool focused)
{
    const int index = input->property("index").toInt();
    const QString group = input->property("group").toString();
    auto *groupBox =
        qobject_cast<QGroupBox *>(findChannelWidget(index, QLatin1String(typeGroupBox), group));
    auto *caption =
        qobject_cast<QLabel *>(findChannelWidget(index, QLatin1String(typeLabel), group));
    if (!groupBox || !caption)
        return;
    const QString type = input->property("type").toString();
    if (type == QLatin1String(typeLineEdit)) {
        auto *field = qobject_cast<QLineEdit *>(input);
        if (!field)
            return;
        if (focused)
            applyEditGroupFocusStyle(groupBox, caption, field);
        else
            applyEditGroupStyle(groupBox, caption, field);
    } else if (type == QLatin1String(typeComboBox)) {
        auto *box = qobject_cast<QComboBox *>(input);
        if (!box)
            return;
        if (focused)
            applyComboGroupFocusStyle(groupBox, caption, box);
        else
            applyComboGroupStyle(groupBox, caption, box);
    }
}

bool DimmerScrollWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        if (auto *widget = qobject_cast<QWidget *>(watched)) {
            if (widget->property("type").isValid())
                applyGroupStyle(widget, event->type() == QEvent::FocusIn);
        }
    }
    // Scrolling the page with the wheel must never change a channel setting on the way.
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox *>(watched))
        return true;
    return BaseWidget::eventFilter(watched, event);
}
