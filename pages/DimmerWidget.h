#pragma once

#include "pages/BaseWidget.h"

class DimmerScrollWidget;

namespace Ui {
class DimmerWidget;
}

// The dimmer settings page: the unit's bump-button setting, the "Apply to all" switch and a
// scroll area showing the channel groups of its channel editor, to which it forwards the page
// contract.
class DimmerWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit DimmerWidget(QWidget *parent = nullptr);
    ~DimmerWidget() override;

    void setChannelCount(int count);
    DimmerScrollWidget *scrollWidget() const;

    void setDebug(Debug *debug) override;
    void setSerial(Serial *serial) override;
    void refresh() override;

private slots:
    void on_c_applyToAll_clicked();

private:
    Ui::DimmerWidget *ui;
    DimmerScrollWidget *m_editor;
};
