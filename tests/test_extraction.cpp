// The regular-expression engine and the extraction of image references.

#include "Failure.h"
#include "ReferenceExtraction.h"
#include "RegExp.h"
#include "StyleSheet.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

QStringList extract(const QString& css,
                    const QString& pattern = QString::fromUtf16(kDefaultPattern))
{
    RegExp engine;
    return extractReferences(engine, pattern, css);
}

QStringList groupsOf(const QString& pattern, const QString& subject, bool ignoreCase = false)
{
    RegExp engine;
    engine.setGlobal(true);
    engine.setPattern(pattern);
    engine.setIgnoreCase(ignoreCase);
    QStringList out;
    for (const RegExpMatch& match : engine.Execute(subject))
        out.append(match.value + u'|' + match.subMatches.join(u','));
    return out;
}

} // namespace

TEST(RegExpEngine, EcmaScriptStyleSemantics)
{
    struct Case
    {
        const char* what;
        QString pattern;
        QString subject;
        bool ignoreCase;
        QStringList matches; // each: whole match | groups joined by ','
    };
    const Case cases[] = {
        {"lazy stops at the first close",
         u"url\\((.*?)\\)"_s,
         u"url(a) url(b)"_s,
         false,
         {u"url(a)|a"_s, u"url(b)|b"_s}},
        {"greedy runs to the last",
         u"url\\((.*)\\)"_s,
         u"url(a) url(b)"_s,
         false,
         {u"url(a) url(b)|a) url(b"_s}},
        {"dot never crosses a line feed", u"a.*b"_s, u"a\r\nb a-b"_s, false, {u"a-b|"_s}},
        {"dot does cross a carriage return", u"a.b"_s, u"a\rb"_s, false, {u"a\rb|"_s}},
        {"ignore case", u"URL"_s, u"url Url"_s, true, {u"url|"_s, u"Url|"_s}},
        {"case matters without it", u"URL"_s, u"url URL"_s, false, {u"URL|"_s}},
        {"group outside the match is empty", u"(x)?(y)"_s, u"y"_s, false, {u"y|,y"_s}},
        {"empty matches advance one character", u"z*"_s, u"ab"_s, false, {u"|"_s, u"|"_s, u"|"_s}},
        {"empty match beside a surrogate pair", u"z*"_s, u"\U0001F600"_s, false, {u"|"_s, u"|"_s}},
        {"$ only at the very end", u"a$"_s, u"a\na"_s, false, {u"a|"_s}},
        {"^ only at the very start", u"^a"_s, u"a\na"_s, false, {u"a|"_s}},
        {"\\u escapes as in scripts", u"\\u0041"_s, u"A"_s, false, {u"A|"_s}},
        {"a CJK character is one character",
         u"图.png"_s,
         u"图x.png 图.png"_s,
         false,
         {u"图.png|"_s}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(groupsOf(c.pattern, c.subject, c.ignoreCase), c.matches) << c.what;
}

TEST(RegExpEngine, InvalidPatternReportsMessageAndOffset)
{
    RegExp engine;
    engine.setPattern(u"url\\((.*?\\)"_s);
    try {
        engine.Execute(u"url(a)"_s);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(
            failure.message(),
            u"Syntax error in regular expression at offset 11: missing closing parenthesis"_s);
    }
}

TEST(RegExpEngine, WithoutGlobalOnlyTheFirstMatch)
{
    RegExp engine;
    engine.setPattern(u"a"_s);
    EXPECT_EQ(engine.Execute(u"aaa"_s).size(), 1u);
}

// Each row runs the default pattern unless it names another. Rows marked "mended" differ from
// the plain substring-and-strip-quotes rules on purpose: those hid or broke real images.
TEST(Extraction, ReferenceTable)
{
    struct Row
    {
        const char* why;
        QString css;
        QStringList references;
        QString pattern = QString::fromUtf16(kDefaultPattern);
    };
    const Row rows[] = {
        {"quoted value", u".a{background:url('a/b.png') no-repeat}"_s, {u"a/b.png"_s}},
        {"group 1 takes -image:", u".b{background-image:url(x.gif)}"_s, {u"x.gif"_s}},
        {"a repeat is listed once",
         u"background:url(a.png)\r\nbackground:url(a.png)"_s,
         {u"a.png"_s}},
        {"quoted and unquoted forms are one reference",
         u"background:url('a.png')\r\nbackground:url(a.png)"_s,
         {u"a.png"_s}},
        {"mended: both quote styles give one entry",
         u"background:url('a.png')\r\nbackground:url(\"a.png\")"_s,
         {u"a.png"_s}},
        {"mended: a.png is not hidden by img/ba.png",
         u"background-image:url(img/ba.png)\r\nbackground:url(a.png)"_s,
         {u"img/ba.png"_s, u"a.png"_s}},
        {"case-sensitive comparison",
         u"BACKGROUND:URL(A.PNG)\r\nbackground:url(a.png)"_s,
         {u"A.PNG"_s, u"a.png"_s}},
        {"no background before the second url",
         u"background:url(a.png), url(b.png)"_s,
         {u"a.png"_s}},
        {"no background at all", u"list-style-image:url(dot.gif)"_s, {}},
        {"from the first background",
         u"background-color:#fff;background-image:url(bg.jpg)"_s,
         {u"bg.jpg"_s}},
        {"never across a line break", u"background:\r\nurl(a.png)"_s, {}},
        {"mended: empty values are not listed", u"background:url()\r\nbackground:url()"_s, {}},
        {"mended: a quote inside a name stays", u"background:url(it's.png)"_s, {u"it's.png"_s}},
        {"mended: blanks and quotes around a value", u"background:url( 'a.png' )"_s, {u"a.png"_s}},
        {"mended: inline images are not references",
         u"background:url(data:image/png;base64,iVBOR/w0)\r\nbackground:url(DATA:x)"_s,
         {}},
        {"one group only lists nothing", u"background:url(a.png)"_s, {}, u"url\\((.*?)\\)"_s},
        {"mended: a group that took no part lists nothing",
         u"background:url(a)\r\nbackground:url(b.gif)"_s,
         {u".gif"_s},
         u"url\\((\\w+)(\\.gif)?\\)"_s},
        {"the start text", u"Memo1"_s, {}},
        {"several backgrounds on one line with a user pattern",
         u"a{background:url(1.png)}b{background:url(2.png)}c{background:url(1.png)}"_s,
         {u"1.png"_s, u"2.png"_s},
         u"(url)\\((.*?)\\)"_s},
        {"Chinese file names", u"a{background:url(图片/背景.png)}"_s, {u"图片/背景.png"_s}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(extract(row.css, row.pattern), row.references) << row.why;
}

TEST(Extraction, MinifiedSheetWithManyReferencesAndDataUris)
{
    QString css;
    QStringList expected;
    for (int i = 0; i < 500; ++i) {
        css += u".c%1{background:url(img/%1.png) no-repeat}"_s.arg(i);
        // A data: image whose body holds ')' and '/' must not leak a fake reference.
        css += u".d%1{background:url(\"data:image/svg+xml;utf8,<svg/>\")}"_s.arg(i);
        expected.append(u"img/%1.png"_s.arg(i));
    }
    EXPECT_EQ(extract(css), expected);
}

TEST(Extraction, EncodedStyleSheetsGiveTheSameReferences)
{
    TempDir tmp;
    const QString css =
        u".a{background:url(图片/背景.png)}\r\n.b{background:url('按钮.gif')}\r\n"_s;
    const QStringList expected = {u"图片/背景.png"_s, u"按钮.gif"_s};
    for (const TextCodec& codec : {TextCodec::utf8(), TextCodec::gb18030()}) {
        const StyleSheet sheet = StyleSheet::load(tmp.write(u"s.css"_s, codec.encode(css)));
        EXPECT_EQ(sheet.codec, codec);
        EXPECT_EQ(extract(sheet.text()), expected) << codec.name().constData();
    }
}
