#include "AddressConversion.h"

#include <algorithm>
#include <iterator>
#include <utility>

using namespace Qt::StringLiterals;

namespace velmora {
namespace {

// "https:" for a prefix that starts with https://, and generally the prefix's own scheme with its
// colon; "http:" when the prefix names none.
QString schemeOf(const QString& prefix)
{
    const qsizetype separator = prefix.indexOf(u"://");
    if (separator > 0) {
        const QStringView scheme = QStringView(prefix).first(separator);
        const bool valid =
            scheme.front().isLetter() && std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
                return c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.';
            });
        if (valid)
            return scheme.toString() + u':';
    }
    return u"http:"_s;
}

// An address as an unquoted attribute value that the browser reads back as that address: a blank
// would end the value, so it goes as %20 (as the browser sends it anyway), and the characters
// with a meaning to the page parser go as character references. Plain addresses stay as they are.
QString attributeValue(const QString& address)
{
    static const std::pair<char16_t, QStringView> written[] = {
        {u' ', u"%20"},  {u'\t', u"%09"},   {u'&', u"&amp;"},  {u'<', u"&lt;"},
        {u'>', u"&gt;"}, {u'"', u"&quot;"}, {u'\'', u"&#39;"}, {u'`', u"&#96;"},
    };
    QString out;
    out.reserve(address.size());
    for (const QChar c : address) {
        const auto* hit = std::find_if(std::begin(written), std::end(written),
                                       [c](const auto& entry) { return entry.first == c; });
        if (hit == std::end(written))
            out += c;
        else
            out += hit->second;
    }
    return out;
}

} // namespace

QString addressOfReference(const QString& reference, const QString& absolutePrefix,
                           const QString& relativePrefix)
{
    if (reference.contains(u"http://") || reference.startsWith(u"http://", Qt::CaseInsensitive) ||
        reference.startsWith(u"https://", Qt::CaseInsensitive))
        return reference;
    if (reference.startsWith(u"//"))
        return schemeOf(absolutePrefix) + reference;
    if (reference.startsWith(u'/'))
        return absolutePrefix + reference;
    return relativePrefix + reference;
}

QString testPageText(const QStringList& addresses)
{
    QString page =
        u"<body style=\"background-color:#B5D7D2;\">以下是测试代码，如果图片能正常显示则说明路径正确，可以下载，否则请返回修改路径！<br><br>\r\n"_s;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QString a = attributeValue(addresses[i]);
        page += QString::number(i) + u" <img src="_s + a + u" alt="_s + a + u"><br><br><hr>\r\n"_s;
    }
    return page;
}

} // namespace velmora
