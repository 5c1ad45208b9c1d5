#pragma once

#include <QDialog>
#include <QUrl>

class QWebEngineView;

namespace Ui {
class Manual;
}

// A separate window showing the attached model's quick start guide, or the maker's home page
// while no guide address is known.
class Manual : public QDialog
{
    Q_OBJECT

public:
    explicit Manual(QWidget *parent = nullptr);
    ~Manual() override;

    // An empty address loads the maker's home page; the load runs in the background.
    void loadUrl(QUrl url);

    QWebEngineView *webView() const { return view; }

private:
    Ui::Manual *ui;
    QWebEngineView *view;
};
