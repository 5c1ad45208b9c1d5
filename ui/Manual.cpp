#include "ui/Manual.h"

#include "ui_Manual.h"
#include "unit/ModelCatalogue.h"

#include <QWebEngineView>

Manual::Manual(QWidget *parent) : QDialog(parent), ui(new Ui::Manual)
{
    ui->setupUi(this);
    view = new QWebEngineView(this);
    view->load(makerHomePage());
    ui->verticalLayout->addWidget(view, 0);
}

Manual::~Manual()
{
    delete ui;
}

void Manual::loadUrl(QUrl url)
{
    if (url.isEmpty())
        url = makerHomePage();
    view->load(url);
}
