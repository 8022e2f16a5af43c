#pragma once

#include <QString>

namespace velmora {

// The file name of an address: the text after its last '/', cut before the first '?' after it.
QString geturlfn(const QString& address);

} // namespace velmora
