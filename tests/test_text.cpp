// The text list, the style sheet file with its encoding, and writing files safely.

#include "AtomicFile.h"
#include "Failure.h"
#include "StyleSheet.h"
#include "TempDir.h"
#include "TextList.h"

#include <QDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

struct Counter
{
    int changes = 0;
    explicit Counter(TextList& list)
    {
        QObject::connect(&list, &TextList::changed, [this] { ++changes; });
    }
};

// Lowers the largest file this process may write, for as long as it lives.
struct FileSizeLimit
{
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};

} // namespace

TEST(TextList, AppendBuildsCrLfLinesAndReportsEachChange)
{
    TextList list;
    Counter counter(list);
    list.append(u"a"_s);
    list.append(u"b"_s);
    EXPECT_EQ(list.text(), u"a\r\nb\r\n"_s);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.line(1), u"b"_s);
    EXPECT_EQ(list.line(5), QString());
    EXPECT_EQ(list.line(-1), QString());
    EXPECT_EQ(counter.changes, 2);
}

TEST(TextList, SetTextNormalisesBreaksAndEqualTextIsNoChange)
{
    struct Case
    {
        QString in;
        QString text;
        qsizetype count;
    };
    const Case cases[] = {
        {u"a\nb\r\nc\r"_s, u"a\r\nb\r\nc\r\n"_s, 3},
        {u"a\r\rb"_s, u"a\r\n\r\nb"_s, 3},
        {u"one"_s, u"one"_s, 1},
        {u"\r\n"_s, u"\r\n"_s, 1},
        {QString(), QString(), 0},
    };
    for (const Case& c : cases) {
        TextList list(u"seed"_s);
        Counter counter(list);
        list.setText(c.in);
        EXPECT_EQ(list.text(), c.text) << c.in.toStdString();
        EXPECT_EQ(list.count(), c.count) << c.in.toStdString();
        EXPECT_EQ(counter.changes, 1);
        // The same content again, with other breaks, changes nothing and says nothing.
        EXPECT_FALSE(list.setText(c.text));
        EXPECT_EQ(counter.changes, 1);
    }
}

TEST(TextList, AppendAfterUnterminatedTextStartsANewLineAndLongLinesStayWhole)
{
    TextList list(u"first"_s);
    const QString longLine(10000, u'x');
    list.append(longLine);
    EXPECT_EQ(list.text(), u"first\r\n"_s + longLine + u"\r\n"_s);
    EXPECT_EQ(list.line(1).size(), 10000);

    Counter counter(list);
    list.clear();
    list.clear();
    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(list.count(), 0);
}

TEST(StyleSheetFile, LoadKeepsBytesButNormalisesBreaks)
{
    TempDir tmp;
    struct Case
    {
        QByteArray onDisk;
        QByteArray buffer;
    };
    const Case cases[] = {
        {"a{}\nb{}\n", "a{}\r\nb{}\r\n"},
        {"a{}\rb{}", "a{}\r\nb{}"},
        {"a{}\r\nb{}\r\n", "a{}\r\nb{}\r\n"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const StyleSheet sheet = StyleSheet::load(tmp.write(u"x.css"_s, c.onDisk));
        EXPECT_EQ(sheet.bytes, c.buffer);
    }
}

TEST(StyleSheetFile, MissingFileFailsWithPathAndReason)
{
    TempDir tmp;
    const QString path = tmp.path(u"none.css"_s);
    try {
        StyleSheet::load(path);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message(),
                  u"Cannot open file \""_s + path + u"\". No such file or directory"_s);
    }
}

TEST(StyleSheetFile, EncodingIsDecidedPerFile)
{
    const QString chinese = u"背景图.png"_s;
    const QByteArray gb = TextCodec::gb18030().encode(chinese);
    struct Case
    {
        QByteArray bytes;
        QByteArray codec;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF"
         "a{}",
         "UTF-8"},
        {"@charset \"GBK\";\r\n" + gb, "GB18030"},
        {"@charset \"utf-8\";\r\n" + chinese.toUtf8(), "UTF-8"},
        {"@charset \"ISO-8859-1\";\r\nb{}", "iso-8859-1"},
        {"@charset \"no-such-charset\";\r\n" + gb, "GB18030"},
        {chinese.toUtf8(), "UTF-8"},
        {gb, "GB18030"},
        {"plain ascii", "UTF-8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextCodec::detect(c.bytes).name(), c.codec) << c.bytes.toStdString();

    EXPECT_EQ(TextCodec::gb18030().decode(gb), chinese);
    EXPECT_EQ(TextCodec::utf8().decode("\xEF\xBB\xBF"
                                       "a"),
              u"a"_s);
}

TEST(StyleSheetFile, FolderIsThePathUpToItsLastDelimiter)
{
    EXPECT_EQ(folderOfPath(u"/site/css/main.css"_s), u"/site/css/"_s);
    EXPECT_EQ(folderOfPath(u"/a.css"_s), u"/"_s);
    EXPECT_EQ(folderOfPath(u"a.css"_s), QString());
}

TEST(AtomicFile, ReplacesWholeFileKeepingPermissions)
{
    TempDir tmp;
    const QString path = tmp.write(u"x.css"_s, "old");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    writeFileAtomically(path, "new content");
    EXPECT_EQ(TempDir::read(path), "new content");
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::WriteGroup);
    EXPECT_EQ(QDir(tmp.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(AtomicFile, WriteThatCannotCompleteLeavesTheOldFileAndNoLeftovers)
{
    TempDir tmp;
    const QString path = tmp.write(u"x.css"_s, "keep me");
    // A file size limit makes the write fail part way, as a full disk would, even for root.
    FileSizeLimit limit(16);
    try {
        writeFileAtomically(path, QByteArray(4096, 'n'));
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message(), u"Cannot create file \""_s + path + u"\". File too large"_s);
    }
    EXPECT_EQ(TempDir::read(path), "keep me");
    EXPECT_EQ(QDir(tmp.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(AtomicFile, UnwritableTargetIsReportedWithTheSystemReason)
{
    TempDir tmp;
    // A folder standing where the file should go cannot be replaced by a file.
    QDir().mkpath(tmp.path(u"taken"_s));
    try {
        writeFileAtomically(tmp.path(u"taken"_s), "x");
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message(),
                  u"Cannot create file \""_s + tmp.path(u"taken"_s) + u"\". Is a directory"_s);
    }
}
