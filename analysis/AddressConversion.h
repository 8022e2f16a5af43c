#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The download address of one reference: a full address stays as it is, a path from the site's
// root gets the absolute-path prefix, a protocol-relative one the scheme of that prefix, and
// everything else the relative-path prefix. Plain concatenation: nothing is added or removed.
QString addressOfReference(const QString& reference, const QString& absolutePrefix,
                           const QString& relativePrefix);

// The test page that shows every image beside its address: the fixed first line, then one line
// per address, each line followed by CR LF. Addresses go in unquoted, with only the characters
// that would cut such an attribute short written as the browser reads them back.
QString testPageText(const QStringList& addresses);

// The name of the test page, written beside the program.
inline constexpr char16_t kTestPageName[] = u"testimg.htm";

} // namespace velmora
