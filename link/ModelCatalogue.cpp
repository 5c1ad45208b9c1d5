#include "link/ModelCatalogue.h"

namespace {

const char kMakerSite[] = "https://www.korvane.com";

struct ModelRow
{
    const char *number;
    const char *name;
    const char *prefix;
    int channels;
    const char *guidePath;
};

// Searched in this order; when a string holds several numbers the earlier row wins.
const ModelRow kModels[] = {
    {"7146", "Glimmerline 5x2.5A Dimmer", "714x:", 5,
     "/docs/default-source/pdfs/7146-glimmerline-5x2-5a-farcast-dimmer-qsg"},
    {"7147", "Glimmerline 5x2.5A Dimmer", "714x:", 5,
     "/docs/default-source/pdfs/7147-glimmerline-5x2-5a-farcast-dimmer-qsg"},
    {"7126", "Glimmerline 2x2.5A Dimmer", "712x:", 2,
     "/docs/default-source/pdfs/7126-glimmerline-2x2-5a-farcast-dimmer-qsg"},
    {"7127", "Glimmerline 2x2.5A Dimmer", "712x:", 2,
     "/docs/default-source/pdfs/7127-glimmerline-2x2-5a-farcast-dimmer-qsg"},
    {"7185", "Farcast Receiver Card", "718x:", 0,
     "/docs/default-source/pdfs/7185-farcast-receiver-card-manual"},
    {"7186", "Farcast Receiver Card", "718x:", 0,
     "/docs/default-source/pdfs/7186-farcast-receiver-card-manual"},
};

const ModelRow *findModel(const QString &model)
{
    for (const ModelRow &row : kModels) {
        if (model.indexOf(QLatin1String(row.number), 0, Qt::CaseSensitive) >= 0)
            return &row;
    }
    return nullptr;
}

} // namespace

QString getModelName(const QString &model)
{
    const ModelRow *row = findModel(model);
    return row ? QString::fromLatin1(row->name) : QStringLiteral("Unknown");
}

QString getModelPrefix(const QString &model)
{
    const ModelRow *row = findModel(model);
    return row ? QString::fromLatin1(row->prefix) : QStringLiteral(":");
}

QUrl getModelUrl(const QString &model)
{
    const ModelRow *row = findModel(model);
    if (!row)
        return QUrl();
    return QUrl(QLatin1String(kMakerSite) + QLatin1String(row->guidePath), QUrl::TolerantMode);
}

int getModelChannels(const QString &model)
{
    // The receivers come after every dimmer row, so the first match over the whole table is the
    // first dimmer match whenever there is one.
    const ModelRow *row = findModel(model);
    return row ? row->channels : 0;
}

bool isValidModel(const QString &model)
{
    return findModel(model) != nullptr;
}

QUrl makerHomePage()
{
    return QUrl(QLatin1String(kMakerSite), QUrl::TolerantMode);
}
