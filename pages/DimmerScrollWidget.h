#pragma once

#include "pages/BaseWidget.h"

#include <QPointer>

// The per-channel editor of the dimmer page. It is a page object but is never shown itself: it
// builds a content widget with one group of fields per output channel, which the dimmer page puts
// into its scroll area. Each field is bound to its channel's setting.
class DimmerScrollWidget : public BaseWidget
{
    Q_OBJECT

public:
    // owner: the dimmer page; the content widget is created as its child.
    explicit DimmerScrollWidget(QWidget *owner = nullptr);
    ~DimmerScrollWidget() override;

    QWidget *buildChannels(int count);
    QWidget *contentWidget() const { return m_content; }
    void setApplyToAll(bool on) { m_applyToAll = on; }
    bool applyToAll() const { return m_applyToAll; }
    int channelCount() const { return m_channelCount; }
    bool isRefreshing() const { return m_refreshing; }
    // Lets go of the fields before they are destroyed with the page: no more events from them,
    // no more channels for a refresh still on the stack to read.
    void releaseFields();

    void setSerial(Serial *serial) override;
    void refresh() override;

private:
    void buildChannel(int index);
    void edited(FieldBinding *field, int setting);
    Serial *channel() const override;

    QWidget *m_owner = nullptr;
    QPointer<QWidget> m_content;
    // Held apart from the base's raw pointer: pending events run during a refresh, and the shell
    // may delete the channel in one of them.
    QPointer<Serial> m_serial;
    int m_channelCount = 0;
    bool m_applyToAll = false;
    bool m_refreshing = false;
};
