#pragma once

#include <QByteArray>
#include <QString>

namespace file {

// What the program that saves calls the files it makes, so that this library names no program
// and no format: the start of a temporary file's name beside the target, the folder of the
// records of in-place saves under the user's state folder, and the ending of a record's name,
// by which it opens as a document of the program's own.
struct ProgramNames
{
    QByteArray temporaryPrefix;
    QString stateFolder;
    QByteArray recordSuffix;
};

} // namespace file
