// A whole download run through the window, against a loopback web server: rows and their
// texts, files in the style sheet folder, the backup and the rewrite at the end.

#include "LoopbackServer.h"
#include "Memo.h"
#include "TempDir.h"
#include "WebBrowser.h"
#include "WindowFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A window with a style sheet opened from a scratch folder and references extracted, whose
// prefixes point at the loopback server.
struct RunFixture
{
    LoopbackServer server;
    TempDir tmp;
    WindowFixture window;
    QString sheet;
    QByteArray original;

    explicit RunFixture(const QByteArray& css)
        : window(tmp.folder(),
                 [] {
                     TForm1Seams seams;
                     seams.links.information = QUrl(u"http://127.0.0.1:9/software/trenvalo.htm"_s);
                     seams.download.connectTimeout = 2s;
                     seams.download.retryDelay = 10ms;
                     return seams;
                 }()),
          original(css)
    {
        QDir().mkpath(tmp.path(u"site"_s));
        sheet = tmp.write(u"site/style.css"_s, css);
        window.open(sheet);
        window.form->btn2Click();
        window.get<QLineEdit>("lbledt1")->setText(server.url(""));
        window.get<QLineEdit>("lbledt2")->setText(server.url("/img/"));
        window.form->btn3Click();
    }

    QTreeWidget* table() const { return window.get<QTreeWidget>("ListView1"); }
    QString status() const { return window.get<QLabel>("lbl9")->text(); }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < table()->topLevelItemCount(); ++r)
            out.append(table()->topLevelItem(r)->text(c));
        return out;
    }
    QString site(const QString& name) const { return tmp.path(u"site/"_s + name); }
    QStringList siteFiles() const
    {
        return QDir(tmp.path(u"site"_s)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    bool waitForEnd() const
    {
        return QTest::qWaitFor([&] { return status().startsWith(u"全部结束"_s); }, 20000);
    }
};

} // namespace

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    void wholeRunDownloadsBacksUpAndRewritesOnce();
    void rewriteWaitsForTheLastDownload();
    void rewriteOptionOffLeavesTheStyleSheetAlone();
    void emptyAddressListShowsThePanelAndStartsNothing();
    void newStartIgnoresTheWorkersOfTheLastRun();
    void backupThatCannotBeWrittenLeavesTheStyleSheet();
    void closingTheWindowEndsRunningDownloadsAndTheirFiles();
};

void TestRun::wholeRunDownloadsBacksUpAndRewritesOnce()
{
    RunFixture run(".a{background:url(/img/a.png)}\n"
                   ".b{background:url('b.png')}\n"
                   ".c{background:url(/status/404)}\n"
                   ".d{background:url(x/dup.png)}\n"
                   ".e{background:url(y/dup.png)}\n"
                   ".f{background:url(/img/folder/)}\n");
    // The user's own file of the second image's name stays; the new image takes a prefix.
    run.tmp.write(u"site/b.png"_s, "the user's b.png");
    run.window.form->btn5Click();

    auto* panel = run.window.get<QWidget>("pnl3");
    QVERIFY(!panel->isHidden());
    auto* browser = run.window.get<TWebBrowser>("wb1");
    QCOMPARE(browser->location(), QUrl(u"http://127.0.0.1:9/software/trenvalo.htm"_s));
    QCOMPARE(browser->geometry(), QRect(-3, -3, 300, 350));
    QVERIFY(run.waitForEnd());

    QCOMPARE(run.column(0),
             (QStringList{u"完成0"_s, u"完成1"_s, u"失败2"_s, u"完成3"_s, u"完成4"_s, u"失败5"_s}));
    QCOMPARE(run.column(1), (QStringList{u"100%"_s, u"100%"_s, u"HTTP 404"_s, u"100%"_s, u"100%"_s,
                                         u"文件名无效"_s}));
    const QStringList names = run.column(2);
    QCOMPARE(names[0], u"a.png"_s);
    QVERIFY2(QRegularExpression(u"^\\d+_b\\.png$"_s).match(names[1]).hasMatch(),
             qPrintable(names[1]));
    QCOMPARE(names[3], u"dup.png"_s);
    // Two different images of one name never share a file.
    QVERIFY2(QRegularExpression(u"^\\d+_dup\\.png$"_s).match(names[4]).hasMatch(),
             qPrintable(names[4]));
    QCOMPARE(run.column(3), (QStringList{u"/img/a.png"_s, u"b.png"_s, u"/status/404"_s,
                                         u"x/dup.png"_s, u"y/dup.png"_s, u"/img/folder/"_s}));
    QCOMPARE(run.status(), u"全部结束：完成 4，失败 2；已备份并更新CSS文件"_s);

    QCOMPARE(TempDir::read(run.site(u"b.png"_s)), "the user's b.png");
    QCOMPARE(TempDir::read(run.site(names[1])),
             QByteArray::fromStdString(LoopbackServer::body("b.png", 64)));
    QCOMPARE(TempDir::read(run.site(u"dup.png"_s)),
             QByteArray::fromStdString(LoopbackServer::body("x/dup.png", 64)));
    QCOMPARE(TempDir::read(run.site(names[4])),
             QByteArray::fromStdString(LoopbackServer::body("y/dup.png", 64)));
    // Nothing else in the folder: no error page, no temporary file.
    QCOMPARE(run.siteFiles(), (QStringList{names[1], names[4], u"a.png"_s, u"b.png"_s, u"dup.png"_s,
                                           u"style.css"_s, u"style.css.bak"_s}));

    const QByteArray backup = QByteArray(run.original).replace("\n", "\r\n");
    QCOMPARE(TempDir::read(run.sheet + u".bak"_s), backup);
    const QByteArray rewritten = ".a{background:url(a.png)}\r\n"
                                 ".b{background:url('" +
                                 names[1].toUtf8() +
                                 "')}\r\n"
                                 ".c{background:url(/status/404)}\r\n"
                                 ".d{background:url(dup.png)}\r\n"
                                 ".e{background:url(" +
                                 names[4].toUtf8() +
                                 ")}\r\n"
                                 ".f{background:url(/img/folder/)}\r\n";
    QCOMPARE(TempDir::read(run.sheet), rewritten);
    QCOMPARE(run.window.get<TMemo>("Memo1")->Lines().text(), QString::fromUtf8(rewritten));
    QVERIFY(run.window.get<QPushButton>("btn6")->isHidden());

    // Ticks after the end never rewrite again: the backup keeps the text as it was loaded.
    run.window.form->tmr1Timer();
    run.window.form->tmr1Timer();
    QCOMPARE(TempDir::read(run.sheet + u".bak"_s), backup);
    QCOMPARE(TempDir::read(run.sheet), rewritten);
    QVERIFY(run.window.errors.isEmpty());
}

void TestRun::rewriteWaitsForTheLastDownload()
{
    RunFixture run(".a{background:url(/img/slow.png?delay=1500)}\n"
                   ".b{background:url(/img/quick.png)}\n");
    run.window.form->btn5Click();
    // Both are started and the end of the list is reached long before the slow one arrives.
    QTRY_COMPARE_WITH_TIMEOUT(run.table()->topLevelItemCount(), 2, 2000);
    QTest::qWait(500);
    QVERIFY(!QFile::exists(run.sheet + u".bak"_s));
    QVERIFY(run.status().startsWith(u"已开始 2 / 2"_s));
    QVERIFY(run.waitForEnd());
    QCOMPARE(TempDir::read(run.sheet),
             QByteArray(".a{background:url(slow.png)}\r\n.b{background:url(quick.png)}\r\n"));
}

void TestRun::rewriteOptionOffLeavesTheStyleSheetAlone()
{
    RunFixture run(".a{background:url(/img/a.png)}\n");
    run.window.get<QCheckBox>("chk1")->setChecked(false);
    run.window.form->btn5Click();
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.status(), u"全部结束：完成 1，失败 0；未更改CSS文件"_s);
    QCOMPARE(TempDir::read(run.sheet), run.original);
    QCOMPARE(run.siteFiles(), (QStringList{u"a.png"_s, u"style.css"_s}));
}

void TestRun::emptyAddressListShowsThePanelAndStartsNothing()
{
    RunFixture run("p{color:red}\n");
    run.window.form->btn5Click();
    QVERIFY(!run.window.get<QWidget>("pnl3")->isHidden());
    QCOMPARE(run.status(), u"没有要下载的图片地址"_s);
    QTest::qWait(300);
    QCOMPARE(run.table()->topLevelItemCount(), 0);
    QCOMPARE(run.siteFiles(), QStringList{u"style.css"_s});
}

void TestRun::newStartIgnoresTheWorkersOfTheLastRun()
{
    RunFixture run(".a{background:url(/img/old.png?delay=1200)}\n");
    run.window.form->btn5Click();
    QTRY_COMPARE_WITH_TIMEOUT(run.table()->topLevelItemCount(), 1, 2000);
    // A second start while the first run's download still runs, with another list.
    run.window.get<TMemo>("mmo1")->setPlainText(u"/img/new.png"_s);
    run.window.get<TMemo>("mmo2")->setPlainText(run.server.url("/img/new.png"));
    run.window.form->btn5Click();
    QVERIFY(run.waitForEnd());
    QTest::qWait(1500); // the old worker has ended and reported by now
    QCOMPARE(run.column(0), QStringList{u"完成0"_s});
    QCOMPARE(run.column(2), QStringList{u"new.png"_s});
    QCOMPARE(run.status(), u"全部结束：完成 1，失败 0；已备份并更新CSS文件"_s);
    QCOMPARE(TempDir::read(run.sheet + u".bak"_s),
             QByteArray(".a{background:url(/img/old.png?delay=1200)}\r\n"));
}

void TestRun::backupThatCannotBeWrittenLeavesTheStyleSheet()
{
    RunFixture run(".a{background:url(/img/a.png)}\n");
    QDir().mkpath(run.sheet + u".bak"_s); // a folder stands where the backup would go
    run.window.form->btn5Click();
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.status(), u"全部结束：完成 1，失败 0；备份失败，未更改CSS文件"_s);
    QCOMPARE(TempDir::read(run.sheet), run.original);
    QCOMPARE(run.window.errors,
             QStringList{u"Cannot create file \""_s + run.sheet + u".bak\". Is a directory."_s});
}

void TestRun::closingTheWindowEndsRunningDownloadsAndTheirFiles()
{
    RunFixture run(".a{background:url(/stall)}\n");
    run.window.get<TMemo>("mmo2")->setPlainText(run.server.url("/stall"));
    run.window.form->btn5Click();
    QTRY_VERIFY_WITH_TIMEOUT(run.column(0).value(0).endsWith(u"下载中..."_s) ||
                                 run.column(0).value(0).startsWith(u"完成"_s),
                             3000);
    QElapsedTimer clock;
    clock.start();
    run.window.form.reset();
    QVERIFY2(clock.elapsed() < 3000, "closing waited for the hung transfer");
    QCoreApplication::processEvents(); // reports still on their way find no window
    QCOMPARE(run.siteFiles(), QStringList{u"style.css"_s});
}

QTEST_MAIN(TestRun)
#include "test_run.moc"
