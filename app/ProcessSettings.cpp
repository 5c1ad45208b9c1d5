#include "app/ProcessSettings.h"

#include "ui/About.h"

#include <QApplication>
#include <QIcon>
#include <QPixmapCache>
#include <QSettings>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

void applyProcessSettings()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("korvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Vantelo"));
    QCoreApplication::setApplicationVersion(QLatin1String(About::versionText));
    // Lets the desktop match the window to the installed entry and its icon; the windows' own
    // icon path holds no image, so they fall back to the installed theme icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.korvane.Vantelo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("com.korvane.Vantelo")));

    QWebEngineSettings::defaultSettings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    QWebEngineSettings::defaultSettings()->setAttribute(QWebEngineSettings::DnsPrefetchEnabled,
                                                        true);
    QWebEngineProfile::defaultProfile()->setUseForGlobalCertificateVerification(true);

    // Rendered pieces of style-sheet widgets are cached under keys that include each widget's
    // palette, so every new set of device pages adds entries that are never used again, until
    // the cache's limit is reached. The window is 390 x 765: 2 MiB holds more than a whole window
    // of pieces, where Qt's default of 10 MiB lets a session that reconnects many times grow
    // by that much for nothing.
    QPixmapCache::setCacheLimit(2048);

    // The program keeps no settings of its own: the only files it writes are those the user
    // names. Qt's file dialog would otherwise record its history in a settings file of the
    // toolkit's in the user's configuration folder; with no place to put it, nothing is stored.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}
