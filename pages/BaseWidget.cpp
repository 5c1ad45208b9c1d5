#include "pages/BaseWidget.h"

BaseWidget::BaseWidget(QWidget *parent) : QWidget(nullptr)
{
    Q_UNUSED(parent);
}

void BaseWidget::setDebug(Debug *debug)
{
    this->debug = debug;
}

void BaseWidget::setSerial(Serial *serial)
{
    this->serial = serial;
}

void BaseWidget::refresh() {}
