#pragma once

#include <QString>
#include <cstdint>

namespace velmora {

// The file name of an address: the text after its last '/', cut before the first '?' after it.
// Only '/' separates; nothing is decoded or trimmed, and the result may be empty.
QString geturlfn(const QString& address);

// Whether a file name may be written into the style sheet folder: not empty, not "." or "..", no
// path separator and no character a file system forbids, so that no download lands elsewhere.
bool isSafeFileName(const QString& name);

// The numbers that tell apart images of the same name. A fixed sequence from the start of the
// program (0, 313, 8609, ...): the state advances as s = s * 134775813 + 1 (mod 2^32) and the
// number is the upper half of s * 9999.
class RenameNumbers
{
public:
    int next();

private:
    uint32_t state_ = 0;
};

} // namespace velmora
