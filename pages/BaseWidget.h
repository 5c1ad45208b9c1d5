#pragma once

#include "pages/FieldBinding.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class Debug;
class Serial;

// The contract between the main window and every device page: it hands each page the log window
// and the command channel, asks it to read its values, and hears progress through one signal. A
// page declares its fields as bindings to the settings table; reading the page reads them in
// that order.
class BaseWidget : public QWidget, public FieldBinding::Page
{
    Q_OBJECT

public:
    // The parent is accepted but not used: a page stays parentless until the main window inserts
    // it into its stacked page area.
    explicit BaseWidget(QWidget *parent = nullptr);
    ~BaseWidget() override;

    virtual void setDebug(Debug *debug);
    virtual void setSerial(Serial *serial);
    virtual void refresh();

    // The family whose settings the page reads and writes; pages of one family share the rows.
    void setFamily(Family family);
    Family family() const { return m_family; }

signals:
    void iconUpdateSignal();

protected:
    FieldBinding *bind(QWidget *field, const QString &key,
                       const FieldBinding::Captions &captions = {});
    // In the order they were bound; a binding whose field has gone is null.
    const QList<QPointer<FieldBinding>> &bindings() const { return m_bindings; }
    // No more events from the fields, before they go: a focus change while they are destroyed
    // must not reach a page that is no longer there.
    void releaseBindings();
    // The channel the page talks through; null while it has none.
    virtual Serial *channel() const { return serial; }

    const settings::Setting *setting(const QString &key) const override;
    settings::Reading readSetting(const QString &key) const override;
    bool sendUserText(const QString &key, const QString &argument) const override;
    const char *textContext() const override { return metaObject()->className(); }

    Debug *debug = nullptr;
    Serial *serial = nullptr;

private:
    Family m_family = Family::Dimmer5;
    QList<QPointer<FieldBinding>> m_bindings;
};
