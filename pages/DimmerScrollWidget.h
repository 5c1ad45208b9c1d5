#pragma once

#include "link/Serial.h"
#include "pages/BaseWidget.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QVector>

class QComboBox;
class QLineEdit;

// The per-channel editor of the dimmer page. It is a page object but is never shown itself: it
// builds a content widget with one group of fields per output channel, which the dimmer page puts
// into its scroll area, and drives those fields through its event filter and two slots. The fields
// are told apart by their "index", "group" and "type" properties.
class DimmerScrollWidget : public BaseWidget
{
    Q_OBJECT

public:
    // owner: the dimmer page; the content widget is created as its child.
    explicit DimmerScrollWidget(QWidget *owner = nullptr);
    ~DimmerScrollWidget() override;

    QWidget *buildChannels(int count);
    QWidget *contentWidget() const;
    void setApplyToAll(bool on);
    bool applyToAll() const { return m_applyToAll; }
    int channelCount() const { return m_channelCount; }

    // First registered widget whose properties equal the three values, or null.
    QWidget *findChannelWidget(int index, const QString &type, const QString &group) const;
    int registeredWidgetCount() const { return m_registry.size(); }
    bool isRefreshing() const { return m_refreshing; }
    // Lets go of the fields before they are destroyed with the page: no more events from them,
    // no more channels for a refresh still on the stack to read.
    void releaseFields();

    void setDebug(Debug *debug) override;
    void setSerial(Serial *serial) override;
    void refresh() override;

public slots:
    void editingFinished();
    void activated(int i);

private:
    void registerWidget(QWidget *widget, int index, const char *group, const char *type);
    void buildChannel(int index);
    QLineEdit *channelLineEdit(int index, const char *group) const;
    QComboBox *channelComboBox(int index, const char *group) const;
    Serial *channel() const override;

    void labelUpdate(QLineEdit *lineEdit, char channel);
    void curveUpdate(QComboBox *comboBox, char channel);
    void respTimeUpdate(QComboBox *comboBox, char channel);
    void modulationUpdate(QComboBox *comboBox, char channel);
    void offsetUpdate(QLineEdit *lineEdit, char channel);
    void writeLabel(QLineEdit *lineEdit, char channel);
    void writeCurve(QComboBox *comboBox, char channel);
    void writeRespTime(QComboBox *comboBox, char channel);
    void writeModulation(QComboBox *comboBox, char channel);
    void writeOffset(QLineEdit *lineEdit, char channel);

    // The shared work behind the per-setting operations above; field is a channels::FieldIndex.
    QString keyOf(int field, char channel) const;
    void textUpdate(QLineEdit *lineEdit, int field, char channel);
    void writeText(QLineEdit *lineEdit, int field, char channel);
    void comboUpdate(QComboBox *comboBox, int field, char channel);
    void writeCombo(QComboBox *comboBox, int field, char channel);
    bool isSendable(int field, char channel, const QString &text) const;

    QWidget *m_owner = nullptr;
    QPointer<QWidget> m_content;
    QVector<QPointer<QWidget>> m_registry;
    // The first registered widget per (index, type, group): a refresh looks up fifteen widgets
    // per channel, and walking the registry's dynamic properties each time grows with the square
    // of the channel count.
    QHash<QString, QPointer<QWidget>> m_lookup;
    // Held apart from the base's raw pointer: pending events run during a refresh, and the shell
    // may delete the channel in one of them.
    QPointer<Serial> m_serial;
    int m_channelCount = 0;
    bool m_applyToAll = false;
    bool m_refreshing = false;
};
