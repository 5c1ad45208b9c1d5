#include "app/ProcessSettings.h"

#include <QPixmapCache>

void applyProcessSettings()
{
    // Rendered pieces of style-sheet widgets are cached under keys that include each widget's
    // palette, so every new set of device pages adds entries that are never used again, until
    // the cache's limit is reached. The window is 390 x 765: 2 MiB holds more than a whole window
    // of pieces, where Qt's default of 10 MiB lets a session that reconnects many times grow
    // by that much for nothing.
    QPixmapCache::setCacheLimit(2048);
}
