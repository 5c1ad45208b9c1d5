#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace record {
class Record;
}
namespace Ui {
class RigRecordWindow;
}

// A read-only look at a rig record: the held slots with a universe filter, the chosen unit's
// history and its universe's map, and the export the console takes. The record is opened here,
// on the window's thread, through a connection of the window's own, so a station running beside
// it keeps its connections.
class RigRecordWindow : public QWidget
{
    Q_OBJECT

public:
    explicit RigRecordWindow(QWidget *parent = nullptr);
    ~RigRecordWindow() override;

    // Where file names come from: a file dialog, or a test. forExport: a patch to write (.mvr or
    // .csv); otherwise a SQLite record to read.
    using FileChooser = std::function<QString(QWidget *parent, bool forExport)>;
    void setFileChooser(FileChooser chooser);

    // Opens the record the field names (a file, sqlite:FILE or a postgresql:// URL) and shows it.
    bool openRecord();

private slots:
    void on_pb_record_clicked();
    void on_pb_open_clicked();
    void on_pb_export_clicked();

private:
    std::optional<int> universeFilter() const;
    void showUnits();
    void showSelected();
    void showMap(std::optional<int> universe);
    void setStatus(const QString &text, bool problem);

    Ui::RigRecordWindow *ui;
    std::unique_ptr<record::Record> m_record;
    FileChooser m_chooser;
};
