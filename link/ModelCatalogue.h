#pragma once

#include <QString>
#include <QUrl>

// The six supported models. A model string matches a row when the row's number occurs anywhere
// in it; rows are tried in table order and the first match decides.
QString getModelName(const QString &model);
QString getModelPrefix(const QString &model);
QUrl getModelUrl(const QString &model);
int getModelChannels(const QString &model);
bool isValidModel(const QString &model);

// The maker's site, scheme and host only: the guide viewer's home page and the base of every
// guide address.
QUrl makerHomePage();
