#pragma once

#include <QDialog>
#include <QUrl>

class QWebEngineView;

namespace Ui {
class Manual;
}

// A separate window showing the attached model's quick start guide, or the home page it was given
// while no guide address is known.
class Manual : public QDialog
{
    Q_OBJECT

public:
    explicit Manual(const QUrl &home, QWidget *parent = nullptr);
    ~Manual() override;

    // An empty address loads the home page; the load runs in the background.
    void loadUrl(QUrl url);

    QWebEngineView *webView() const { return view; }

private:
    Ui::Manual *ui;
    QWebEngineView *view;
    QUrl m_home;
};
