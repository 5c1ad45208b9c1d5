#pragma once

#include <QString>

// Files the program writes (settings files, the station's log, record files) are replaced or
// appended to by name. A name that already stands for something other than a regular file (a
// device node such as /dev/null, a FIFO, a folder) must be left alone: replacing it would destroy
// a piece of the system, and writing into it would send the text somewhere the user never meant.
// Empty when the path may be written (it does not exist, or it is a regular file, also through a
// symbolic link); otherwise one line that says why not.
QString refusalToReplace(const QString &path);
