// The window: its layout, start state, and the steps driven through its controls.

#include "Memo.h"
#include "Shape.h"
#include "TempDir.h"
#include "WebBrowser.h"
#include "WindowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void onlyThreeControlsShowTooltips();
    void tabOrderWithinPages();
    void startState();
    void errorBoxAddsAFullStopOnlyAfterHigherCharacters();
    void openFlow();
    void openingAMissingFileLeavesTheBufferButShowsTheNewPath();
    void helpPanelToggles();
    void guestbookReloadsOnEveryShowingAndForumOpensPerClick();
    void extractionConversionAndCopyThroughTheWindow();
    void invalidPatternEmptiesTheListAndShowsTheEngineMessage();
    void testPageThatCannotBeWrittenLeavesTheOldOneAndOpensNothing();
};

void TestWindow::layout_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text"); // a null text is not compared
    QTest::addColumn<bool>("visible");

    struct Row
    {
        const char* name;
        const char* parent;
        const char* kind;
        QRect geometry;
        QString text;
        bool visible = true;
    };
    const Row rows[] = {
        {"pnl4", "Form1", "QFrame", {0, 0, 918, 74}, {}},
        {"lbl1", "pnl4", "QLabel", {18, 49, 81, 14}, u"CSS样式文件："_s},
        {"lbl8", "pnl4", "QLabel", {16, 10, 420, 29}, u"Velmora - Dorsik出品"_s},
        {"lbl5", "pnl4", "QLabel", {814, 24, 84, 28}, u" Dorsik技术论坛\n(C) 2026 Dorsik"_s},
        {"pgc1", "Form1", "QTabWidget", {8, 81, 903, 552}, {}},
        {"Memo1", "Form1", "TMemo", {408, 512, 121, 49}, u"Memo1"_s, false},
        {"mmo3",
         "Form1",
         "TMemo",
         {320, 408, 281, 89},
         u"mmo3\n用来存放图片地址，测试转换效果的临时存储！"_s,
         false},
        // Page 1
        {"shp2", "ts1", "TShape", {-18, -8, 935, 583}, {}},
        {"btn1", "ts1", "QPushButton", {16, 12, 105, 25}, u"打开CSS文件"_s},
        {"pnl2",
         "ts1",
         "QLabel",
         {200, 104, 497, 26},
         u"本程序作者：Velmora     欢迎任何形式的软件设计和定制服务，联系电话：000-0000000"_s},
        {"mmo4", "ts1", "QTextEdit", {200, 152, 497, 185}, {}},
        // Page 2
        {"shp3", "ts2", "TShape", {-40, -61, 935, 583}, {}},
        {"lbl3", "ts2", "QLabel", {16, 48, 65, 13}, u"共 0 个图片"_s},
        {"btn2", "ts2", "QPushButton", {16, 12, 105, 25}, u"分析图片网址"_s},
        {"edt1", "ts2", "QLineEdit", {131, 15, 185, 20}, u"background(.*?)url\\((.*?)\\)"_s},
        {"mmo1", "ts2", "TMemo", {16, 72, 863, 430}, u""_s},
        // Page 3
        {"shp4", "ts3", "TShape", {-40, -61, 935, 583}, {}},
        {"shp1", "ts3", "TShape", {17, 19, 13, 13}, {}},
        {"btn4",
         "ts3",
         "QPushButton",
         {256, 97, 385, 25},
         u"如果上一步中得到的图片地址都是以 http:// 开头的，则点击这里！"_s},
        {"btn3", "ts3", "QPushButton", {141, 97, 105, 25}, u"转换图片地址"_s},
        {"mmo2", "ts3", "TMemo", {19, 128, 856, 371}, u""_s},
        {"lbledt1", "ts3", "QLineEdit", {141, 42, 734, 20}, u""_s},
        {"lbledt1Label", "ts3", "QLabel", {18, 46, 120, 12}, u"绝对路径加网址前缀："_s},
        {"lbledt2", "ts3", "QLineEdit", {141, 69, 734, 20}, u""_s},
        {"lbledt2Label", "ts3", "QLabel", {18, 73, 120, 12}, u"相对路径加网址前缀："_s},
        {"pnl1", "ts3", "QFrame", {36, 16, 441, 17}, {}},
        {"lbl4", "pnl1", "QLabel", {6, 3, 419, 130}, {}},
        // Page 4
        {"shp5", "ts4", "TShape", {-40, -61, 935, 583}, {}},
        {"chk1",
         "ts4",
         "QCheckBox",
         {16, 16, 329, 17},
         u"自动更改CSS文件中的图片路径，并备份原来的CSS文件！"_s},
        {"btn5", "ts4", "QPushButton", {16, 40, 105, 25}, u"开始下载图片"_s},
        {"lbl9", "ts4", "QLabel", {248, 44, 631, 25}, u""_s},
        {"ListView1", "ts4", "QTreeWidget", {16, 78, 863, 415}, {}},
        {"btn6", "ts4", "QPushButton", {136, 44, 97, 25}, u"保存新的CSS"_s, false},
        {"pnl3", "ts4", "QFrame", {577, 128, 270, 329}, {}, false},
        {"wb1", "pnl3", "TWebBrowser", {1, 1, 268, 327}, {}},
        // Page 5
        {"wb2", "ts5", "TWebBrowser", {0, 0, 895, 522}, {}},
        {"pnl5", "ts5", "QFrame", {321, 13, 352, 35}, {}},
        {"lbl6", "pnl5", "QLabel", {14, 5, 339, 24}, u"建议交流及BUG反馈请点这里！"_s},
    };
    for (const Row& row : rows) {
        QTest::newRow(row.name) << QString::fromLatin1(row.parent) << QString::fromLatin1(row.kind)
                                << row.geometry << row.text << row.visible;
    }
}

void TestWindow::layout()
{
    QFETCH(QString, parent);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, visible);

    TempDir tmp;
    WindowFixture window(tmp.folder());
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QWidget* control = window.form->findChild<QWidget*>(name);
    QVERIFY2(control, "missing control");
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(!control->isHidden(), visible);
    if (!text.isNull()) {
        QString shown;
        if (auto* label = qobject_cast<QLabel*>(control))
            shown = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            shown = button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(control))
            shown = edit->text();
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
            shown = memo->toPlainText();
        QCOMPARE(shown, text);
    }
}

void TestWindow::onlyThreeControlsShowTooltips()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    QMap<QString, QString> tips;
    for (const QWidget* widget : window.form->findChildren<QWidget*>()) {
        if (!widget->toolTip().isEmpty())
            tips.insert(widget->objectName(), widget->toolTip());
    }
    const QMap<QString, QString> expected = {
        {u"lbledt1"_s, u"绝对路径前缀，网址最后不能加 /  ，切记！"_s},
        {u"lbledt2"_s,
         u"相对路径前缀，一定是Css文件的网络路径作为相对路径，结尾要加 /  ，否则路径会出错！"_s},
        {u"lbl6"_s, u"点击访问"_s},
    };
    QCOMPARE(tips, expected);
}

void TestWindow::tabOrderWithinPages()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    window.form->show();
    // The order Tab walks through the controls of one page.
    const auto walk = [&](const char* pageName, const char* first) {
        QWidget* page = window.get<QWidget>(pageName);
        QStringList order;
        QWidget* at = window.get<QWidget>(first);
        do {
            if (page->isAncestorOf(at) && !at->isHidden() && (at->focusPolicy() & Qt::TabFocus))
                order.append(at->objectName());
            at = at->nextInFocusChain();
        } while (at->objectName() != QString::fromLatin1(first));
        return order;
    };
    QCOMPARE(walk("ts1", "btn1"), (QStringList{u"btn1"_s, u"mmo4"_s}));
    QCOMPARE(walk("ts2", "btn2"), (QStringList{u"btn2"_s, u"edt1"_s, u"mmo1"_s}));
    QCOMPARE(walk("ts3", "btn3"),
             (QStringList{u"btn3"_s, u"lbledt1"_s, u"lbledt2"_s, u"mmo2"_s, u"btn4"_s}));
    QCOMPARE(walk("ts4", "btn5"), (QStringList{u"btn5"_s, u"chk1"_s, u"ListView1"_s}));
}

void TestWindow::startState()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    TForm1& form = *window.form;
    QCOMPARE(form.objectName(), u"Form1"_s);
    QCOMPARE(form.windowTitle(), u"Velmora 1.2.11.5  Dorsik出品"_s);
    QCOMPARE(form.minimumSize(), QSize(918, 644));
    QCOMPARE(form.maximumSize(), QSize(918, 644));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);

    auto* pages = window.get<QTabWidget>("pgc1");
    QCOMPARE(pages->count(), 5);
    const QStringList captions = {u"第一步"_s, u"第二步"_s, u"第三步"_s, u"第四步"_s,
                                  u"用户留言"_s};
    for (int i = 0; i < pages->count(); ++i) {
        QCOMPARE(pages->tabText(i), captions[i]);
        QCOMPARE(pages->widget(i)->objectName(), u"ts%1"_s.arg(i + 1));
    }
    QCOMPARE(pages->currentWidget()->objectName(), u"ts1"_s);

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QCOMPARE(pages->currentWidget()->size(), QSize(895, 522));
    }
    pages->setCurrentIndex(0);
    QTRY_COMPARE(QApplication::focusWidget(), window.get<QWidget>("btn1"));

    QCOMPARE(window.get<TMemo>("Memo1")->Lines().text(), u"Memo1"_s);
    QCOMPARE(window.get<TMemo>("mmo3")->Lines().count(), 2);
    QVERIFY(window.get<QCheckBox>("chk1")->isChecked());
    QCOMPARE(window.get<QTreeWidget>("ListView1")->topLevelItemCount(), 0);
    const QStringList headers = {u"编号"_s, u"进度"_s, u"文件名"_s, u"CSS中文件地址"_s};
    const int widths[] = {45, 90, 139, 334};
    auto* table = window.get<QTreeWidget>("ListView1");
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(table->headerItem()->text(c), headers[c]);
        QCOMPARE(table->columnWidth(c), widths[c]);
    }
    QCOMPARE(form.Tag(), 0);
    QCOMPARE(form.Hint(), QString());

    // Fonts that set controls apart from the window's 12-pixel plain font.
    QVERIFY(window.get<QPushButton>("btn1")->font().bold());
    QVERIFY(!window.get<QPushButton>("btn4")->font().bold());
    QCOMPARE(window.get<QLabel>("lbl6")->font().family(), u"黑体"_s);
    QCOMPARE(window.get<QLabel>("lbl8")->font().pointSize(), 18);
    QCOMPARE(form.font().family(), u"宋体"_s);

    // Running step 2 before anything was opened finds nothing in the start text.
    form.btn2Click();
    QCOMPARE(window.get<TMemo>("mmo1")->Lines().count(), 0);
    QCOMPARE(window.get<QLabel>("lbl3")->text(), u"共 0 个图片"_s);
}

void TestWindow::errorBoxAddsAFullStopOnlyAfterHigherCharacters()
{
    const QStringList in = {u"No such file"_s, u"Done."_s, u"Stop!"_s, u"(a)"_s,
                            u"Cannot, 1"_s,    u"失败"_s,  QString()};
    const QStringList out = {u"No such file."_s, u"Done."_s, u"Stop!"_s, u"(a)"_s,
                             u"Cannot, 1."_s,    u"失败."_s, QString()};
    for (qsizetype i = 0; i < in.size(); ++i)
        QCOMPARE(errorBoxText(in[i]), out[i]);
}

void TestWindow::openFlow()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    TForm1& form = *window.form;
    auto* header = window.get<QLabel>("lbl1");
    auto* buffer = window.get<TMemo>("Memo1");
    const QString first = tmp.write(u"first.css"_s, "a{}\nb{}\n");
    const QString second = tmp.write(u"second.css"_s, "");

    window.open(first);
    QCOMPARE(header->text(), u"CSS样式文件："_s + first);
    QVERIFY(header->width() >= header->sizeHint().width());
    QCOMPARE(form.Hint(), tmp.folder());
    QCOMPARE(form.dlgOpen1().FileName, first);
    QCOMPARE(buffer->Lines().text(), u"a{}\r\nb{}\r\n"_s);
    QCOMPARE(buffer->Lines().count(), 2);

    // Cancelling keeps everything, and the dialog started at the previous choice.
    form.btn1Click();
    QCOMPARE(window.dialogStarts.last(), first);
    QCOMPARE(header->text(), u"CSS样式文件："_s + first);
    QCOMPARE(buffer->Lines().text(), u"a{}\r\nb{}\r\n"_s);

    // A second file replaces header, folder and buffer; an empty file gives an empty buffer.
    window.open(second);
    QCOMPARE(header->text(), u"CSS样式文件："_s + second);
    QCOMPARE(buffer->Lines().count(), 0);
    QCOMPARE(form.styleSheet().bytes, QByteArray());
    QVERIFY(window.errors.isEmpty());
}

void TestWindow::openingAMissingFileLeavesTheBufferButShowsTheNewPath()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    TForm1& form = *window.form;
    window.open(tmp.write(u"a.css"_s, "x{}"));
    QDir().mkpath(tmp.path(u"sub"_s));
    const QString missing = tmp.path(u"sub/typed.css"_s);
    window.open(missing);

    QCOMPARE(window.errors,
             QStringList{u"Cannot open file \""_s + missing + u"\". No such file or directory."_s});
    QCOMPARE(window.errorCaptions, QStringList{u"Velmora - Dorsik出品"_s});
    QCOMPARE(window.get<QLabel>("lbl1")->text(), u"CSS样式文件："_s + missing);
    QCOMPARE(form.Hint(), tmp.path(u"sub/"_s));
    QCOMPARE(form.dlgOpen1().FileName, missing);
    QCOMPARE(window.get<TMemo>("Memo1")->Lines().text(), u"x{}"_s);
}

void TestWindow::helpPanelToggles()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    window.form->show();
    window.get<QTabWidget>("pgc1")->setCurrentIndex(2);
    auto* panel = window.get<QFrame>("pnl1");
    auto* help = window.get<QLabel>("lbl4");
    QCOMPARE(panel->height(), 17);
    const int heights[] = {140, 17, 140};
    for (int expected : heights) {
        QTest::mouseClick(help, Qt::LeftButton, {}, QPoint(20, 6));
        QCOMPARE(panel->height(), expected);
    }
    // While open the panel lies over the convert button.
    auto* convert = window.get<QPushButton>("btn3");
    const QPoint centre = convert->mapTo(window.get<QWidget>("ts3"), convert->rect().center());
    QCOMPARE(window.get<QWidget>("ts3")->childAt(centre), help);
}

void TestWindow::guestbookReloadsOnEveryShowingAndForumOpensPerClick()
{
    TempDir tmp;
    TForm1Seams seams;
    seams.links.guestbook = QUrl(u"http://127.0.0.1:9/index.php?tid=7"_s);
    seams.links.forum = QUrl(u"http://127.0.0.1:9/forumdisplay.php?fid=3"_s);
    WindowFixture window(tmp.folder(), seams);
    window.form->show();
    auto* browser = window.get<TWebBrowser>("wb2");
    QList<QUrl> loads;
    QObject::connect(browser, &TWebBrowser::navigated, [&](const QUrl& url) { loads.append(url); });
    auto* pages = window.get<QTabWidget>("pgc1");
    QVERIFY(browser->location().isEmpty());
    pages->setCurrentIndex(4);
    pages->setCurrentIndex(0);
    pages->setCurrentIndex(4);
    QCOMPARE(loads, (QList<QUrl>{seams.links.guestbook, seams.links.guestbook}));

    auto* link = window.get<QLabel>("lbl6");
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(window.opened, QStringList(2, seams.links.forum.toString()));
}

void TestWindow::extractionConversionAndCopyThroughTheWindow()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    TForm1& form = *window.form;
    window.open(QStringLiteral(VELMORA_FIXTURES "/chinese-gb18030.css"));
    QCOMPARE(form.textCodec().name(), QByteArray("GB18030"));

    form.btn2Click();
    auto* references = window.get<TMemo>("mmo1");
    auto* count = window.get<QLabel>("lbl3");
    QCOMPARE(references->Lines().text(),
             u"/img/头部.png\r\nimg/背景.gif\r\nhttp://cdn.example/x.png\r\n"_s);
    QCOMPARE(count->text(), u"共 3 个图片"_s);

    // The label follows edits made by hand: typing on the empty last line adds one, taking the
    // text away again removes it.
    references->moveCursor(QTextCursor::End);
    QTest::keyClicks(references, u"extra.png"_s);
    QCOMPARE(count->text(), u"共 4 个图片"_s);
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(references, Qt::Key_Backspace);
    QCOMPARE(count->text(), u"共 3 个图片"_s);

    window.get<QLineEdit>("lbledt1")->setText(u"http://127.0.0.1:8000"_s);
    window.get<QLineEdit>("lbledt2")->setText(u"http://127.0.0.1:8000/css/"_s);
    form.btn3Click();
    const QString addresses = u"http://127.0.0.1:8000/img/头部.png\r\n"
                              u"http://127.0.0.1:8000/css/img/背景.gif\r\n"
                              u"http://cdn.example/x.png\r\n"_s;
    QCOMPARE(window.get<TMemo>("mmo2")->Lines().text(), addresses);
    const QString page = tmp.path(u"testimg.htm"_s);
    QCOMPARE(window.opened, QStringList{page});
    const QByteArray bytes = TempDir::read(page);
    QCOMPARE(window.get<TMemo>("mmo3")->Lines().count(), 4);
    // Written in the style sheet's own encoding, without a byte order mark.
    QCOMPARE(velmora::TextCodec::gb18030().decode(bytes),
             window.get<TMemo>("mmo3")->Lines().text());
    QVERIFY(bytes.contains("1 <img src=http://127.0.0.1:8000/css/img/" +
                           velmora::TextCodec::gb18030().encode(u"背景.gif"_s)));

    // Copying takes the reference list as it stands and touches nothing else.
    references->setPlainText(u"http://h/a.png"_s);
    form.btn4Click();
    QCOMPARE(window.get<TMemo>("mmo2")->Lines().text(), u"http://h/a.png"_s);
    QCOMPARE(TempDir::read(page), bytes);
    QCOMPARE(window.opened.size(), 1);
}

void TestWindow::invalidPatternEmptiesTheListAndShowsTheEngineMessage()
{
    TempDir tmp;
    WindowFixture window(tmp.folder());
    window.open(tmp.write(u"a.css"_s, "a{background:url(a.png)}"));
    window.form->btn2Click();
    QCOMPARE(window.get<QLabel>("lbl3")->text(), u"共 1 个图片"_s);
    window.get<QLineEdit>("edt1")->setText(u"background(.*?url"_s);
    window.form->btn2Click();
    QCOMPARE(window.get<TMemo>("mmo1")->Lines().count(), 0);
    QCOMPARE(window.get<QLabel>("lbl3")->text(), u"共 0 个图片"_s);
    QCOMPARE(
        window.errors,
        QStringList{
            u"Syntax error in regular expression at offset 17: missing closing parenthesis."_s});
}

void TestWindow::testPageThatCannotBeWrittenLeavesTheOldOneAndOpensNothing()
{
    TempDir tmp;
    // The program folder does not exist, so the page cannot be created there.
    WindowFixture window(tmp.path(u"gone/"_s));
    window.get<TMemo>("mmo1")->setPlainText(u"a.png"_s);
    window.get<QLineEdit>("lbledt2")->setText(u"REL/"_s);
    window.form->btn3Click();
    QCOMPARE(window.get<TMemo>("mmo2")->Lines().text(), u"REL/a.png\r\n"_s);
    QCOMPARE(window.get<TMemo>("mmo3")->Lines().count(), 2);
    QVERIFY(window.opened.isEmpty());
    QCOMPARE(window.errors.size(), 1);
    QVERIFY(window.errors[0].startsWith(u"Cannot create file \""_s +
                                        tmp.path(u"gone/testimg.htm"_s) +
                                        u"\". No such file or directory"_s));
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
