#include "ui/Manual.h"

#include "ui_Manual.h"

#include <QWebEngineView>

Manual::Manual(const QUrl &home, QWidget *parent)
    : QDialog(parent), ui(new Ui::Manual), m_home(home)
{
    ui->setupUi(this);
    view = new QWebEngineView(this);
    view->load(m_home);
    ui->verticalLayout->addWidget(view, 0);
}

Manual::~Manual()
{
    delete ui;
}

void Manual::loadUrl(QUrl url)
{
    if (url.isEmpty())
        url = m_home;
    view->load(url);
}
