#include "unit/ModelCatalogue.h"

namespace {

const char kMakerSite[] = "https://www.korvane.com";

struct FamilyRow
{
    Family family;
    const char *name;
    int channels;
    quint16 usbProductId;
};

const FamilyRow kFamilies[] = {
    {Family::Dimmer5, "714x", 5, 7146},
    {Family::Dimmer2, "712x", 2, 7126},
    {Family::Receiver, "718x", 0, 7185},
};

const FamilyRow &familyRow(Family family)
{
    for (const FamilyRow &row : kFamilies) {
        if (row.family == family)
            return row;
    }
    return kFamilies[0];
}

QVector<ModelInfo> buildModels()
{
    struct Row
    {
        const char *number;
        const char *name;
        Family family;
        const char *guidePath;
    };
    // Searched in this order; when a string holds several numbers the earlier row wins.
    const Row rows[] = {
        {"7146", "Glimmerline 5x2.5A Dimmer", Family::Dimmer5,
         "/docs/default-source/pdfs/7146-glimmerline-5x2-5a-farcast-dimmer-qsg"},
        {"7147", "Glimmerline 5x2.5A Dimmer", Family::Dimmer5,
         "/docs/default-source/pdfs/7147-glimmerline-5x2-5a-farcast-dimmer-qsg"},
        {"7126", "Glimmerline 2x2.5A Dimmer", Family::Dimmer2,
         "/docs/default-source/pdfs/7126-glimmerline-2x2-5a-farcast-dimmer-qsg"},
        {"7127", "Glimmerline 2x2.5A Dimmer", Family::Dimmer2,
         "/docs/default-source/pdfs/7127-glimmerline-2x2-5a-farcast-dimmer-qsg"},
        {"7185", "Farcast Receiver Card", Family::Receiver,
         "/docs/default-source/pdfs/7185-farcast-receiver-card-manual"},
        {"7186", "Farcast Receiver Card", Family::Receiver,
         "/docs/default-source/pdfs/7186-farcast-receiver-card-manual"},
    };
    QVector<ModelInfo> models;
    for (const Row &row : rows) {
        models.append({QLatin1String(row.number), QLatin1String(row.name), row.family,
                       familyRow(row.family).channels, QLatin1String(row.guidePath)});
    }
    return models;
}

} // namespace

namespace catalogue {

const QVector<ModelInfo> &models()
{
    static const QVector<ModelInfo> table = buildModels();
    return table;
}

const ModelInfo *find(const QString &model)
{
    for (const ModelInfo &row : models()) {
        if (model.indexOf(row.number, 0, Qt::CaseSensitive) >= 0)
            return &row;
    }
    return nullptr;
}

QStringList modelNumbers()
{
    QStringList numbers;
    for (const ModelInfo &row : models())
        numbers.append(row.number);
    return numbers;
}

QString modelList()
{
    return modelNumbers().join(QLatin1String(", "));
}

QString familyName(Family family)
{
    return QLatin1String(familyRow(family).name);
}

QString familyPrompt(Family family)
{
    return familyName(family) + QLatin1Char(':');
}

std::optional<Family> familyFromName(const QString &name)
{
    for (const FamilyRow &row : kFamilies) {
        if (name == QLatin1String(row.name))
            return row.family;
    }
    return std::nullopt;
}

QList<Family> families()
{
    QList<Family> list;
    for (const FamilyRow &row : kFamilies)
        list.append(row.family);
    return list;
}

int familyChannels(Family family)
{
    return familyRow(family).channels;
}

quint16 usbProductId(Family family)
{
    return familyRow(family).usbProductId;
}

bool isSupportedUsbDevice(quint16 vendorId, quint16 productId)
{
    if (vendorId != usbVendorId)
        return false;
    for (const FamilyRow &row : kFamilies) {
        if (row.usbProductId == productId)
            return true;
    }
    return false;
}

} // namespace catalogue

QString getModelName(const QString &model)
{
    const ModelInfo *row = catalogue::find(model);
    return row ? row->name : QStringLiteral("Unknown");
}

QString getModelPrefix(const QString &model)
{
    const ModelInfo *row = catalogue::find(model);
    return row ? catalogue::familyPrompt(row->family) : QStringLiteral(":");
}

QUrl getModelUrl(const QString &model)
{
    const ModelInfo *row = catalogue::find(model);
    if (!row)
        return QUrl();
    return QUrl(QLatin1String(kMakerSite) + row->guidePath, QUrl::TolerantMode);
}

int getModelChannels(const QString &model)
{
    // The receivers come after every dimmer row, so the first match over the whole table is the
    // first dimmer match whenever there is one.
    const ModelInfo *row = catalogue::find(model);
    return row ? row->channels : 0;
}

bool isValidModel(const QString &model)
{
    return catalogue::find(model) != nullptr;
}

QUrl makerHomePage()
{
    return QUrl(QLatin1String(kMakerSite), QUrl::TolerantMode);
}
