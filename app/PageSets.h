#pragma once

#include "unit/ModelCatalogue.h"

#include <QList>
#include <QString>
#include <QVector>

#include <functional>

class BaseWidget;
class QWidget;

// One position in a family's page set: how to make the page, what its navigation button says,
// and what the page needs right after it has been named.
struct PagePosition
{
    std::function<BaseWidget *(const ModelInfo &model, QWidget *parent)> create;
    QString buttonText;
    // May be empty.
    std::function<void(BaseWidget *page)> configure;
    // The object that reports the page's progress; empty means the page itself. The dimmer page
    // leaves the talking to its channel editor, so the wait animation has to listen there.
    std::function<BaseWidget *(BaseWidget *page)> progressSource;
};

// The pages of one device family.
struct PageFamily
{
    Family family;
    // Four in the program's own table; the page at position i gets navigation button i.
    QVector<PagePosition> positions;
    // Wiring between the finished pages (in position order); may be empty.
    std::function<void(const QList<BaseWidget *> &pages)> afterBuild;
};

// The program's page sets, one row per family.
const QVector<PageFamily> &pageFamilies();

// The page set of the family, or null.
const PageFamily *findPageFamily(const QVector<PageFamily> &families, Family family);
