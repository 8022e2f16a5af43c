#include "Sequencer.h"

namespace velmora {

QString geturlfn(const QString& address)
{
    QString name = address.sliced(address.lastIndexOf(u'/') + 1);
    const qsizetype query = name.indexOf(u'?');
    return query < 0 ? name : name.first(query);
}

bool isSafeFileName(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == u'/' || c == u'\\')
            return false;
#ifdef Q_OS_WIN
        if (QStringView(u"<>:\"|?*").contains(c))
            return false;
#endif
    }
    return true;
}

int RenameNumbers::next()
{
    state_ = state_ * 134775813u + 1u;
    return static_cast<int>((static_cast<uint64_t>(state_) * 9999u) >> 32);
}

} // namespace velmora
