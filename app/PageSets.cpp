#include "app/PageSets.h"

#include "pages/BaseWidget.h"

const QVector<PageFamily> &pageFamilies()
{
    static const QVector<PageFamily> families = {};
    return families;
}

const PageFamily *findPageFamily(const QVector<PageFamily> &families, const QString &model)
{
    for (const PageFamily &family : families) {
        for (const QString &number : family.modelNumbers) {
            if (model.contains(number, Qt::CaseSensitive))
                return &family;
        }
    }
    return nullptr;
}
