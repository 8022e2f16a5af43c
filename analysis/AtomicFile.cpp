#include "AtomicFile.h"

#include "Failure.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <filesystem>
#include <system_error>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace velmora {

AtomicFile::AtomicFile(QString target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() = default;

bool AtomicFile::fail()
{
    const int error = errno;
    reason_ = QString::fromStdString(std::generic_category().message(error ? error : EIO));
    temp_.reset();
    return false;
}

bool AtomicFile::open()
{
    const QFileInfo info(target_);
    if (info.fileName().isEmpty() || info.isDir()) {
        errno = EISDIR;
        return fail();
    }
    // Hidden and beside the target, so the rename never crosses file systems.
    temp_ = std::make_unique<QTemporaryFile>(info.absolutePath() + u"/."_s + info.fileName() +
                                             u".velmora-XXXXXX"_s);
    errno = 0;
    if (!temp_->open())
        return fail();
    return true;
}

bool AtomicFile::write(const char* data, qint64 size)
{
    if (!temp_)
        return false;
    qint64 done = 0;
    while (done < size) {
        errno = 0;
        const qint64 n = temp_->write(data + done, size - done);
        if (n <= 0)
            return fail();
        done += n;
    }
    return true;
}

bool AtomicFile::commit()
{
    if (!temp_)
        return false;
    errno = 0;
    if (!temp_->flush())
        return fail();
#ifdef Q_OS_UNIX
    if (::fsync(temp_->handle()) != 0)
        return fail();
#endif
    const QFileInfo existing(target_);
    // A new file gets the ordinary permissions a plain create would give it, not the private ones
    // of a temporary file.
    temp_->setPermissions(existing.exists() ? existing.permissions()
                                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
    temp_->close();
    std::error_code ec;
    std::filesystem::rename(temp_->fileName().toStdU16String(), target_.toStdU16String(), ec);
    if (ec) {
        errno = ec.value();
        return fail();
    }
    temp_->setAutoRemove(false);
    temp_.reset();
    return true;
}

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    AtomicFile file(path);
    if (!file.open() || !file.write(bytes.constData(), bytes.size()) || !file.commit())
        throw Failure(u"Cannot create file \"%1\". %2"_s.arg(path, file.reason()));
}

} // namespace velmora
