// Turning references into download addresses, and the test page.

#include "AddressConversion.h"
#include "TempDir.h"
#include "TextCodec.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace Qt::StringLiterals;

TEST(Conversion, AddressTable)
{
    struct Row
    {
        QString reference;
        QString address;
        QString absolutePrefix = u"ABS"_s;
    };
    const Row rows[] = {
        {u"/img/a.png"_s, u"ABS/img/a.png"_s},
        {u"img/a.png"_s, u"REL/img/a.png"_s},
        {u"../img/a.png"_s, u"REL/../img/a.png"_s},
        {u"http://h/a.png"_s, u"http://h/a.png"_s},
        {u"/go?u=http://h/a.png"_s, u"/go?u=http://h/a.png"_s},
        {QString(), u"REL/"_s},
        // Mended: full addresses in any letter case, https included, stay as they are.
        {u"HTTP://H/A.PNG"_s, u"HTTP://H/A.PNG"_s},
        {u"https://h/a.png"_s, u"https://h/a.png"_s},
        {u"Https://h/a.png"_s, u"Https://h/a.png"_s},
        // Mended: a protocol-relative reference takes the site's scheme.
        {u"//cdn.example/a.png"_s, u"https://cdn.example/a.png"_s, u"https://www.example"_s},
        {u"//cdn.example/a.png"_s, u"http://cdn.example/a.png"_s, u"http://www.example"_s},
        {u"//cdn.example/a.png"_s, u"http://cdn.example/a.png"_s, u"www.example"_s},
        {u"//cdn.example/a.png"_s, u"http://cdn.example/a.png"_s, QString()},
        // No separator is added or removed.
        {u"/img/a.png"_s, u"http://www.example//img/a.png"_s, u"http://www.example/"_s},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(addressOfReference(row.reference, row.absolutePrefix, u"REL/"_s), row.address)
            << row.reference.toStdString();
    }
    EXPECT_EQ(addressOfReference(u"img/a.png"_s, QString(), QString()), u"img/a.png"_s);
}

TEST(Conversion, TestPageMatchesTheGoldenFileInBothEncodings)
{
    const QString page = testPageText({u"ABS/img/a.png"_s, u"REL/b.gif"_s, u"REL/"_s});
    EXPECT_EQ(TextCodec::gb18030().encode(page),
              TempDir::read(QStringLiteral(VELMORA_FIXTURES "/testimg.gb18030.htm")));
    EXPECT_EQ(TextCodec::utf8().encode(page),
              TempDir::read(QStringLiteral(VELMORA_FIXTURES "/testimg.utf8.htm")));
    // The fixed first line is 128 bytes in the Chinese code page, as the page has always been.
    EXPECT_EQ(TextCodec::gb18030().encode(page).indexOf("\r\n"), 128);
    EXPECT_EQ(testPageText({}).count(u"\r\n"_s), 1);
}

TEST(Conversion, AddressesThatWouldBreakTheirAttributeAreWrittenToReadBackWhole)
{
    const QString line = testPageText({u"http://h/背景 图.png?a=1&b=\"2\">"_s}).split(u"\r\n"_s)[1];
    EXPECT_EQ(line, u"0 <img src=http://h/背景%20图.png?a=1&amp;b=&quot;2&quot;&gt; "
                    u"alt=http://h/背景%20图.png?a=1&amp;b=&quot;2&quot;&gt;><br><br><hr>"_s);
}
