#include "StyleSheet.h"

#include "Failure.h"
#include "LineBreaks.h"

#include <QFile>
#include <cerrno>
#include <system_error>

using namespace Qt::StringLiterals;

namespace velmora {

StyleSheet StyleSheet::load(const QString& path)
{
    QFile file(path);
    errno = 0;
    QByteArray bytes;
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        // One read of the known size; readAll() would grow its buffer step by step.
        const qint64 size = file.size();
        bytes.resize(size);
        const qint64 got = size > 0 ? file.read(bytes.data(), size) : 0;
        ok = got == size;
        if (ok && file.bytesAvailable() > 0)
            bytes += file.readAll(); // it grew while we read
        ok = ok && file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        const int error = errno ? errno : EIO;
        throw Failure(u"Cannot open file \"%1\". %2"_s.arg(
            path, QString::fromStdString(std::generic_category().message(error))));
    }
    StyleSheet sheet;
    sheet.bytes = toCrLf(bytes);
    sheet.codec = TextCodec::detect(sheet.bytes);
    sheet.path = path;
    return sheet;
}

QString folderOfPath(const QString& path)
{
#ifdef Q_OS_WIN
    const qsizetype cut =
        std::max({path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'), path.lastIndexOf(u':')});
#else
    const qsizetype cut = path.lastIndexOf(u'/');
#endif
    return cut < 0 ? QString() : path.left(cut + 1);
}

} // namespace velmora
