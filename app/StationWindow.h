#pragma once

#include "station/Provisioning.h"

#include <QWidget>

#include <functional>

class QCloseEvent;
class QLineEdit;

namespace Ui {
class StationWindow;
}

// The provisioning station in the window: from Start to Stop every supported unit that is
// plugged in gets its family's template, its own address and label, is read back and lands in
// the log, as vantelo-cli provision --watch does. The units work on threads of their own; what
// they report reaches this window through the station's queued signals.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StationWindow(QWidget *parent = nullptr);
    ~StationWindow() override;

    bool isRunning() const;
    provision::Station *station() const { return m_station; }

    // Where file names come from: a file dialog, or a test.
    enum class FileKind
    {
        Template,
        Log,
        Plan,
    };
    using FileChooser = std::function<QString(QWidget *parent, FileKind kind)>;
    void setFileChooser(FileChooser chooser);

signals:
    // True just before the station opens any port, false once every unit's thread has ended:
    // the main window lets go of its unit for that time.
    void runningChanged(bool running);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pb_start_clicked();
    void on_pb_stop_clicked();
    void on_pb_template714x_clicked();
    void on_pb_template712x_clicked();
    void on_pb_template718x_clicked();
    void on_pb_log_clicked();
    void on_pb_plan_clicked();
    void on_le_plan_textChanged(const QString &path);

private:
    void chooseInto(QLineEdit *edit, FileKind kind);
    bool buildSetup(provision::Setup &setup, QString *why) const;
    void setEditable(bool editable);
    int rowOf(int id);
    void showUnit(const provision::Unit &unit);
    void showProgress(int id, int done, int total);
    void showFinished(const provision::Unit &unit);
    void stationFinished();

    Ui::StationWindow *ui;
    provision::Station *m_station;
    FileChooser m_chooser;
    QList<int> m_rows; // unit ids, top to bottom
    int m_passed = 0;
    int m_failed = 0;
};
