#include "pages/DimmerScrollWidget.h"

#include "link/Serial.h"
#include "ui/Theme.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr int maxChannels = 5;
constexpr int contentWidth = 350;
constexpr int channelPitch = 400; // vertical distance between two channel groups

// The field groups of a channel frame, in the order they stand and are read; a refresh announces
// progress after the second and the last.
struct Field
{
    const char *name;        // with the channel index, the field's object name: "curve/2"
    const char *caption;     // caption label text
    int y;                   // position of the field group inside the channel frame
    const char *setting;     // the last part of the channel's settings key
    const char *initialText; // line edits only; null for a combo box
};

const Field fields[] = {
    {"label", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Device Label"), 10, "label",
     QT_TRANSLATE_NOOP("DimmerScrollWidget", "Device Label")},
    {"curve", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Curve"), 80, "curve", nullptr},
    {"resp", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Output Response Time"), 150, "response",
     nullptr},
    {"freq", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Modulation Frequency"), 220, "modulation",
     nullptr},
    {"offset", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Control Offset"), 290, "offset", "0"},
};
constexpr int fieldCount = int(sizeof fields / sizeof *fields);

// "channel.b.curve" for channel 1's curve; channel 0 is 'a' in commands and "A" in its heading.
QString settingKey(int channel, int field)
{
    return QStringLiteral("channel.%1.%2")
        .arg(QChar('a' + channel), QLatin1String(fields[field].setting));
}

void place(QWidget *widget, int x, int y, int width, int height)
{
    widget->setFixedSize(width, height);
    widget->move(x, y);
    widget->show();
}

} // namespace

DimmerScrollWidget::DimmerScrollWidget(QWidget *owner) : BaseWidget(owner), m_owner(owner) {}

DimmerScrollWidget::~DimmerScrollWidget() = default;

QWidget *DimmerScrollWidget::buildChannels(int count)
{
    // A second build replaces the first.
    releaseBindings();
    delete m_content;

    count = qBound(0, count, maxChannels);
    m_content = new QWidget(m_owner);
    m_content->setFixedSize(contentWidth, channelPitch * count);
    applyPageStyle(m_content);
    setFamily(count > catalogue::familyChannels(Family::Dimmer2) ? Family::Dimmer5
                                                                 : Family::Dimmer2);
    for (int i = 0; i < count; ++i)
        buildChannel(i);
    m_channelCount = count;
    return m_content;
}

void DimmerScrollWidget::buildChannel(int index)
{
    const int y0 = channelPitch * index;
    auto *heading = new QLabel(tr("Dimmer ") + QChar('A' + index), m_content);
    applyLabelStyle(heading);
    place(heading, 30, y0 + 10, 290, 16);

    auto *frame = new QGroupBox(m_content);
    applyFrameGroupStyle(frame);
    place(frame, 10, y0 + 30, 330, 360);

    for (int f = 0; f < fieldCount; ++f) {
        auto *group = new QGroupBox(frame);
        place(group, 10, fields[f].y, 310, 60);
        place(new QLabel(tr(fields[f].caption), group), 10, 10, 290, 16);
        QWidget *field =
            fields[f].initialText
                ? static_cast<QWidget *>(new QLineEdit(tr(fields[f].initialText), group))
                : new QComboBox(group);
        field->setObjectName(QStringLiteral("%1/%2").arg(QLatin1String(fields[f].name)).arg(index));
        place(field, 10, 30, 290, 20);
        FieldBinding *binding = bind(field, settingKey(index, f));
        binding->onEdit = [this, binding, f] { edited(binding, f); };
    }
}

void DimmerScrollWidget::releaseFields()
{
    releaseBindings();
    m_channelCount = 0;
    m_content = nullptr;
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
        for (int f = 0; f < fieldCount; ++f) {
            if (FieldBinding *binding = bindings().value(i * fieldCount + f))
                binding->show();
            if (f == 1 || f == fieldCount - 1)
                emit iconUpdateSignal();
            if (!self)
                return;
        }
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

void DimmerScrollWidget::edited(FieldBinding *field, int setting)
{
    if (!m_applyToAll) {
        field->write(field->key());
        return;
    }
    // Text that cannot be sent to one channel cannot be sent to any; going through the channels
    // would only read each of their values into this field in turn.
    if (!field->isSendable(field->key())) {
        field->write(field->key());
        return;
    }
    // Each write takes the field's value at that moment and reads the channel back into it, so
    // the next channel receives what this one kept.
    const QPointer<FieldBinding> guard(field);
    for (int c = 0; c < m_channelCount && guard; ++c)
        field->write(settingKey(c, setting));
}
