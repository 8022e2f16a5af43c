#include "Sequencer.h"

namespace velmora {

QString geturlfn(const QString& address)
{
    QString name = address.sliced(address.lastIndexOf(u'/') + 1);
    const qsizetype query = name.indexOf(u'?');
    return query < 0 ? name : name.first(query);
}

} // namespace velmora
