#include "pages/CommandText.h"

namespace command {

bool fits(const QString &line)
{
    return line.toUtf8().size() < bufferSize;
}

} // namespace command
