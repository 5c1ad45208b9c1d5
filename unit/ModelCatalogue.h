#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <optional>

// The three device families. A family shares its prompt, its commands and its settings; the
// models of a family differ only in hardware that the program does not configure.
enum class Family
{
    Dimmer5,  // prompt "714x:"
    Dimmer2,  // prompt "712x:"
    Receiver, // prompt "718x:"
};

struct ModelInfo
{
    QString number;
    QString name;
    Family family;
    int channels;
    QString guidePath;
};

// The six supported models and their families, in one table that everything else reads: the
// port filter, the page sets, the lists of models in help texts and the simulator's offer.
namespace catalogue {

const QVector<ModelInfo> &models();
// The first row whose number occurs anywhere in the model string, or null.
const ModelInfo *find(const QString &model);
// "7146, 7147, 7126, 7127, 7185, 7186"
QString modelList();
QStringList modelNumbers();

// The family's name in files and on the command line ("714x"), and its prompt ("714x:").
QString familyName(Family family);
QString familyPrompt(Family family);
std::optional<Family> familyFromName(const QString &name);
QList<Family> families();
int familyChannels(Family family);

// Every supported device enumerates with the maker's USB vendor and one product identifier per
// family.
constexpr quint16 usbVendorId = 1155;
quint16 usbProductId(Family family);
bool isSupportedUsbDevice(quint16 vendorId, quint16 productId);

} // namespace catalogue

// The lookups the pages and the shell use: a model string matches a row when the row's number
// occurs anywhere in it; rows are tried in table order and the first match decides.
QString getModelName(const QString &model);
QString getModelPrefix(const QString &model);
QUrl getModelUrl(const QString &model);
int getModelChannels(const QString &model);
bool isValidModel(const QString &model);

// The maker's site, scheme and host only: the guide viewer's home page and the base of every
// guide address.
QUrl makerHomePage();
