#include "files/FileTarget.h"

#include <QFileInfo>

QString refusalToReplace(const QString &path)
{
    const QFileInfo info(path);
    // exists() follows a link: a dangling one is written through like a new file.
    if (!info.exists() || info.isFile())
        return QString();
    const QString what =
        info.isDir() ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
    return QStringLiteral("%1 is %2; it is not replaced").arg(path, what);
}
