#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QTemporaryFile;

namespace velmora {

// Writes a file through a temporary file in the target's folder that is renamed over the target
// only when complete. Until commit() succeeds the target is untouched; a file never committed is
// removed when the writer goes away, so a failure leaves no partial file behind.
class AtomicFile
{
public:
    explicit AtomicFile(QString target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; false with reason() set when that is not possible.
    bool open();
    bool write(const char* data, qint64 size);
    // Flushes, keeps the permissions of an existing target and renames into place.
    bool commit();
    const QString& target() const { return target_; }
    // The system's reason for the last failure, in its own words.
    const QString& reason() const { return reason_; }

private:
    bool fail();

    QString target_;
    std::unique_ptr<QTemporaryFile> temp_;
    QString reason_;
};

// Writes the whole of bytes to path through an AtomicFile; throws Failure with the wording
// "Cannot create file "path". reason" when the file cannot be created or written.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace velmora
