#pragma once

#include "TextCodec.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// The style sheet buffer: the file's bytes unchanged except that every line break is CR LF,
// together with the encoding decided for that file.
struct StyleSheet
{
    QByteArray bytes;
    TextCodec codec;
    // The file the bytes came from; empty for the start text.
    QString path;

    // Reads the whole file (opened for reading only); throws Failure with
    // "Cannot open file "path". reason" when it cannot be read.
    static StyleSheet load(const QString& path);
    QString text() const { return codec.decode(bytes); }
};

// The folder of a path with its trailing delimiter: everything up to and including the last '/'
// (and on Windows the last '\' or ':'); empty when the path has none.
QString folderOfPath(const QString& path);

} // namespace velmora
