#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A scratch folder for one test, with small helpers to lay files into it and read them back.
struct TempDir
{
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString folder() const { return dir.path() + QLatin1Char('/'); }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write fixture %s", qPrintable(path(name)));
        return path(name);
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

#include <ostream>

// Readable test failures for text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
