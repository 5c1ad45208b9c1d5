#include "files/SettingsFile.h"

#include "files/FileTarget.h"
#include "files/JsonScanner.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace settingsfile {

namespace {

using jsonscan::isIntegral;
using jsonscan::isNumber;
using jsonscan::literalOf;
using jsonscan::Member;
using jsonscan::Scanner;

// A refusal is one line: control characters in quoted user text are shown escaped, and a very
// long value is cut so that the key in front of it stays readable.
QString oneLine(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
        if (out.size() > 200) {
            out += QLatin1String("...");
            break;
        }
    }
    return out;
}

QString quotedMember(const char *name)
{
    return QLatin1Char('"') + QLatin1String(name) + QLatin1Char('"');
}

std::optional<Contents> refuse(QString *why, const QString &reason)
{
    if (why)
        *why = oneLine(reason);
    return std::nullopt;
}

QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Where the members of the identity object stand in the file, in this order.
struct IdentityField
{
    const char *name;
    QString Identity::*field;
};
const IdentityField identityFields[] = {
    {"uid", &Identity::uid},
    {"software", &Identity::software},
    {"boot", &Identity::boot},
    {"saved", &Identity::saved},
};

} // namespace

QString formatName()
{
    return QStringLiteral("vantelo-settings");
}

const Entry *Contents::find(const QString &key) const
{
    for (const Entry &entry : settings) {
        if (entry.setting->key == key)
            return &entry;
    }
    return nullptr;
}

std::optional<Contents> parse(const QByteArray &text, QString *why)
{
    Scanner scanner(text);
    scanner.run();
    if (!scanner.duplicate().isEmpty())
        return refuse(why, QStringLiteral("%1 appears twice").arg(scanner.duplicate()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        return refuse(why, QStringLiteral("not a settings file: %1 at byte %2")
                               .arg(error.errorString())
                               .arg(error.offset));
    }
    if (!document.isObject())
        return refuse(why, QStringLiteral("not a settings file: not a JSON object"));
    if (scanner.stopped()) {
        return refuse(why, scanner.tooDeep()
                               ? QStringLiteral("not a settings file: nested too deeply")
                               : QStringLiteral("not a settings file: unreadable JSON"));
    }

    const QJsonObject top = document.object();
    if (top.value(QLatin1String("format")) != QJsonValue(formatName())) {
        return refuse(why, QStringLiteral("not a settings file: %1 is not \"%2\"")
                               .arg(quotedMember("format"), formatName()));
    }
    const QJsonValue version = top.value(QLatin1String("version"));
    const QByteArray versionText = literalOf(scanner.top(), QStringLiteral("version"));
    if (!version.isDouble() || !isIntegral(versionText) || version.toDouble() < 1 ||
        version.toDouble() > 1e9)
        return refuse(
            why, QStringLiteral("%1 is not a whole number from 1").arg(quotedMember("version")));
    if (version.toDouble() > formatVersion) {
        return refuse(why, QStringLiteral("format version %1 is newer than this program reads (%2)")
                               .arg(qlonglong(version.toDouble()))
                               .arg(formatVersion));
    }

    Contents contents;
    const QJsonValue family = top.value(QLatin1String("family"));
    const auto known = catalogue::familyFromName(family.toString());
    if (!family.isString() || !known) {
        return refuse(
            why, QStringLiteral("%1 is not one of 714x, 712x, 718x").arg(quotedMember("family")));
    }
    contents.family = *known;

    const QJsonValue model = top.value(QLatin1String("model"));
    if (!model.isUndefined() && !model.isString())
        return refuse(why, QStringLiteral("%1 is not a text").arg(quotedMember("model")));
    contents.model = model.toString();
    const ModelInfo *modelInfo = catalogue::find(contents.model);
    if (modelInfo && modelInfo->family != contents.family) {
        return refuse(why, QStringLiteral("model %1 is not of family %2")
                               .arg(contents.model, catalogue::familyName(contents.family)));
    }

    const QJsonValue identity = top.value(QLatin1String("identity"));
    if (!identity.isUndefined() && !identity.isObject())
        return refuse(why, QStringLiteral("%1 is not an object").arg(quotedMember("identity")));
    for (const IdentityField &field : identityFields) {
        const QJsonValue value = identity.toObject().value(QLatin1String(field.name));
        if (!value.isUndefined() && !value.isString())
            return refuse(
                why, QStringLiteral("identity.%1 is not a text").arg(QLatin1String(field.name)));
        contents.identity.*field.field = value.toString();
    }

    const QJsonValue settingsValue = top.value(QLatin1String("settings"));
    if (!settingsValue.isObject())
        return refuse(why, QStringLiteral("no %1 object").arg(quotedMember("settings")));
    const QJsonObject values = settingsValue.toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        const settings::Setting *setting = settings::find(contents.family, it.key());
        if (!setting) {
            return refuse(why, QStringLiteral("%1 is not a key of family %2")
                                   .arg(it.key(), catalogue::familyName(contents.family)));
        }
        if (setting->isReadOnly())
            return refuse(why, QStringLiteral("%1 is read-only").arg(it.key()));
        const QByteArray literal = literalOf(scanner.settings(), it.key());
        const bool integer =
            setting->kind == settings::Kind::Integer || setting->kind == settings::Kind::FailTime;
        if (integer && isNumber(literal) && !isIntegral(literal)) {
            return refuse(why, QStringLiteral("%1: %2 is not a whole number")
                                   .arg(it.key(), QString::fromLatin1(literal)));
        }
        QString reason;
        const auto value = settings::fromJson(*setting, it.value(), &reason);
        if (value)
            reason = settings::refusal(*setting, *value);
        if (!reason.isEmpty())
            return refuse(why, QStringLiteral("%1: %2").arg(it.key(), reason));
        contents.settings.append({setting, *value});
    }
    const QVector<settings::Setting> &table = settings::forFamily(contents.family);
    std::sort(contents.settings.begin(), contents.settings.end(),
              [&table](const Entry &a, const Entry &b) {
                  return a.setting - table.constData() < b.setting - table.constData();
              });
    return contents;
}

QByteArray serialize(const Contents &contents)
{
    QByteArray out = "{\n";
    out += "    \"format\": " + jsonText(formatName()) + ",\n";
    out += "    \"version\": " + QByteArray::number(formatVersion) + ",\n";
    out += "    \"model\": " + jsonText(contents.model) + ",\n";
    out += "    \"family\": " + jsonText(catalogue::familyName(contents.family)) + ",\n";
    out += "    \"identity\": {\n";
    for (const IdentityField &field : identityFields) {
        out += "        \"" + QByteArray(field.name) +
               "\": " + jsonText(contents.identity.*field.field);
        out += &field == std::end(identityFields) - 1 ? "\n" : ",\n";
    }
    out += "    },\n";
    out += "    \"settings\": {";
    for (int i = 0; i < contents.settings.size(); ++i) {
        const Entry &entry = contents.settings.at(i);
        out += i == 0 ? "\n" : ",\n";
        out += "        " + jsonText(entry.setting->key) + ": " +
               jsonText(settings::toJson(*entry.setting, entry.value));
    }
    out += contents.settings.isEmpty() ? "}\n" : "\n    }\n";
    out += "}\n";
    return out;
}

std::optional<Contents> load(const QString &path, QString *why)
{
    QFile file(path);
    if (QFileInfo(path).isDir())
        return refuse(why, QStringLiteral("%1 is a folder, not a settings file").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(why, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray text = file.read(maxFileBytes + 1);
    if (text.size() > maxFileBytes)
        return refuse(why, QStringLiteral("%1: larger than any settings file").arg(path));
    QString reason;
    auto contents = parse(text, &reason);
    if (!contents)
        return refuse(why, QStringLiteral("%1: %2").arg(path, reason));
    return contents;
}

Writer::Writer() = default;
Writer::~Writer() = default;

bool Writer::open(const QString &path, QString *why)
{
    const QString refused = refusalToReplace(path);
    if (!refused.isEmpty()) {
        if (why)
            *why = oneLine(refused);
        m_file.reset();
        return false;
    }
    m_file = std::make_unique<QSaveFile>(path);
    if (m_file->open(QIODevice::WriteOnly))
        return true;
    if (why)
        *why = oneLine(QStringLiteral("cannot write %1: %2").arg(path, m_file->errorString()));
    m_file.reset();
    return false;
}

bool Writer::commit(const Contents &contents, QString *why)
{
    if (!m_file) {
        if (why)
            *why = QStringLiteral("no file open for writing");
        return false;
    }
    const QByteArray text = serialize(contents);
    const bool done = m_file->write(text) == text.size() && m_file->commit();
    if (!done && why) {
        *why = oneLine(
            QStringLiteral("cannot write %1: %2").arg(m_file->fileName(), m_file->errorString()));
    }
    m_file.reset();
    return done;
}

bool save(const QString &path, const Contents &contents, QString *why)
{
    Writer writer;
    return writer.open(path, why) && writer.commit(contents, why);
}

QString timestamp(const QDateTime &moment)
{
    const int offset = moment.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return moment.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString familyRefusal(const Contents &contents, Family unitFamily)
{
    if (contents.family == unitFamily)
        return QString();
    return QStringLiteral("the file is for family %1, the unit is of family %2")
        .arg(catalogue::familyName(contents.family), catalogue::familyName(unitFamily));
}

} // namespace settingsfile
