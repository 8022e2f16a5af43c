#include "Unit1.h"

#include "AddressConversion.h"
#include "AtomicFile.h"
#include "DownloadWorker.h"
#include "Failure.h"
#include "LinksConfig.h"
#include "ReferenceExtraction.h"
#include "RegExp.h"
#include "Sequencer.h"
#include "StyleSheetRewrite.h"
#include "ui_Unit1.h"

#include <QCoreApplication>
#include <QDate>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// The skin is compiled into the window's library; a static library's resources are registered by
// hand, outside any namespace.
static void registerSkin()
{
    Q_INIT_RESOURCE(skin);
}

namespace {

// Stand-ins where the design's fonts are missing, as on most Linux desktops; Qt falls back
// character by character, so Chinese renders with any CJK font the system has.
void substituteDesignFonts()
{
    static const bool done = [] {
        const QStringList cjk = {u"SimSun"_s, u"NSimSun"_s, u"WenQuanYi Micro Hei"_s,
                                 u"Noto Sans CJK SC"_s, u"Noto Sans SC"_s};
        QFont::insertSubstitutions(u"宋体"_s, cjk);
        QFont::insertSubstitutions(u"黑体"_s, {u"SimHei"_s, u"WenQuanYi Micro Hei"_s,
                                               u"WenQuanYi Zen Hei"_s, u"Noto Sans CJK SC"_s});
        QFont::insertSubstitutions(u"Tahoma"_s, {u"DejaVu Sans Condensed"_s, u"DejaVu Sans"_s,
                                                 u"Liberation Sans"_s, u"WenQuanYi Micro Hei"_s});
        return true;
    }();
    (void)done;
}

QString loadSkin()
{
    registerSkin();
    QFile file(u":/skin/velmora.qss"_s);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// One sequence of rename numbers for the whole program, as every start of it draws the same.
velmora::RenameNumbers& renameNumbers()
{
    static velmora::RenameNumbers numbers;
    return numbers;
}

TForm1Seams withRealDesktop(TForm1Seams seams)
{
    if (!seams.askOpenFile) {
        seams.askOpenFile = [](QWidget* owner, const QString& previous) -> std::optional<QString> {
            QFileDialog dialog(owner, QString(), previous, u"*.css"_s);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            if (!previous.isEmpty())
                dialog.selectFile(previous);
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return std::nullopt;
            return dialog.selectedFiles().constFirst();
        };
    }
    if (!seams.shellOpen) {
        seams.shellOpen = [](QWidget*, const QString& target) {
            const QUrl url = QUrl::fromUserInput(target);
            QDesktopServices::openUrl(url);
        };
    }
    if (!seams.showError) {
        seams.showError = [](QWidget* owner, const QString& caption, const QString& message) {
            QMessageBox box(QMessageBox::Critical, caption, message, QMessageBox::Ok, owner);
            box.exec();
        };
    }
    if (seams.programFolder.isEmpty())
        seams.programFolder = QCoreApplication::applicationDirPath() + u'/';
    return seams;
}

} // namespace

QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

OutsideLinks OutsideLinks::fromBuild()
{
    return {QUrl(QString::fromUtf8(VELMORA_GUESTBOOK_URL)),
            QUrl(QString::fromUtf8(VELMORA_FORUM_URL)), QUrl(QString::fromUtf8(VELMORA_INFO_URL)),
            QUrl(QString::fromUtf8(VELMORA_PARTNER_URL)),
            QUrl(QString::fromUtf8(VELMORA_HOME_URL))};
}

TForm1::TForm1(TForm1Seams seams, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TForm1>()), seams_(withRealDesktop(std::move(seams)))
{
    substituteDesignFonts();
    ui->setupUi(this);
    setObjectName(u"Form1"_s);
    setStyleSheet(loadSkin());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(918, 644);

    // The description names the outside addresses and the build date the packager chose.
    QString description = ui->mmo4->toPlainText();
    description.replace(u"{partner}"_s, seams_.links.partner.toString())
        .replace(u"{forum}"_s, seams_.links.home.toString())
        .replace(u"{built}"_s, QString::fromLatin1(__DATE__).simplified());
    ui->mmo4->setPlainText(description);
    // The design's 14 lines fill the box exactly at the design font's 13-pixel line pitch; CJK
    // fonts on other systems run taller, so the pitch is fixed.
    ui->mmo4->document()->setDocumentMargin(2);
    QTextCursor all(ui->mmo4->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat pitch;
    pitch.setLineHeight(13, QTextBlockFormat::FixedHeight);
    all.mergeBlockFormat(pitch);

    ui->lbl1->setProperty("hint", ui->lbl1->text());
    ui->ListView1->header()->setStretchLastSection(false);
    const int columnWidths[] = {45, 90, 139, 334};
    for (int column = 0; column < 4; ++column)
        ui->ListView1->setColumnWidth(column, columnWidths[column]);
    styleSheet_.bytes = ui->Memo1->Lines().text().toUtf8();

    ui->lbl4->installEventFilter(this);
    ui->lbl6->installEventFilter(this);
    connect(ui->btn1, &QPushButton::clicked, this, &TForm1::btn1Click);
    connect(ui->btn2, &QPushButton::clicked, this, &TForm1::btn2Click);
    connect(&ui->mmo1->Lines(), &velmora::TextList::changed, this, &TForm1::mmo1Change);
    connect(ui->btn3, &QPushButton::clicked, this, &TForm1::btn3Click);
    connect(ui->btn4, &QPushButton::clicked, this, &TForm1::btn4Click);
    connect(ui->pgc1, &QTabWidget::currentChanged, this, [this](int index) {
        if (ui->pgc1->widget(index) == ui->ts5)
            ts5Show();
    });

    tmr1 = new QTimer(this);
    tmr1->setObjectName(u"tmr1"_s);
    tmr1->setInterval(100);
    tmr1->setTimerType(Qt::PreciseTimer);
    connect(tmr1, &QTimer::timeout, this, &TForm1::tmr1Timer);
    connect(ui->btn5, &QPushButton::clicked, this, &TForm1::btn5Click);
    connect(ui->btn6, &QPushButton::clicked, this, &TForm1::btn6Click);

    downloads_ = std::make_unique<velmora::DownloadThreads>();
    using velmora::DownloadThreads;
    connect(downloads_.get(), &DownloadThreads::rowCaption, this,
            [this](int run, int row, const QString& text) { rowReport(run, row, 0, text); });
    connect(downloads_.get(), &DownloadThreads::rowProgress, this,
            [this](int run, int row, const QString& text) { rowReport(run, row, 1, text); });
    connect(downloads_.get(), &DownloadThreads::timerWanted, this, [this](int run) {
        if (run == run_.number)
            armTimer();
    });
    connect(downloads_.get(), &DownloadThreads::finished, this, &TForm1::downloadFinished);
}

TForm1::~TForm1()
{
    // Running transfers end now and take their partial files with them; nothing they report
    // reaches a window that is gone.
    tmr1->stop();
    downloads_->abortAll();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    FormShow();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui->lbl4)
            lbl4Click();
        else if (watched == ui->lbl6)
            lbl6Click();
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::guarded(const std::function<void()>& body)
{
    QString message;
    try {
        body();
        return true;
    } catch (const velmora::Failure& failure) {
        message = failure.message();
    } catch (const std::exception& failure) {
        message = QString::fromLocal8Bit(failure.what());
    }
    seams_.showError(this, QString::fromUtf16(kApplicationTitle), errorBoxText(message));
    return false;
}

void TForm1::setLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    // Labels grow with their text, as far as it is wider than their design size.
    const int width = label->sizeHint().width();
    if (width > label->width())
        label->resize(width, label->height());
}

void TForm1::FormShow()
{
    ui->btn1->setFocus();
}

void TForm1::btn1Click()
{
    guarded([this] {
        const std::optional<QString> chosen = seams_.askOpenFile(this, dlgOpen1_.FileName);
        if (!chosen || chosen->isEmpty())
            return;
        dlgOpen1_.FileName = *chosen;
        setLabelText(ui->lbl1, ui->lbl1->property("hint").toString() + dlgOpen1_.FileName);
        hint_ = velmora::folderOfPath(dlgOpen1_.FileName);
        styleSheet_ = velmora::StyleSheet::load(dlgOpen1_.FileName);
        ui->Memo1->Lines().setText(styleSheet_.text());
    });
}

void TForm1::btn2Click()
{
    guarded([this] {
        velmora::TextList& list = ui->mmo1->Lines();
        list.clear();
        if (!RegExp1)
            RegExp1 = std::make_unique<velmora::RegExp>();
        const QStringList references =
            velmora::extractReferences(*RegExp1, ui->edt1->text(), ui->Memo1->Lines().text());
        // One update for the whole list: a large style sheet is not repainted line by line.
        list.setLines(references);
    });
}

void TForm1::mmo1Change()
{
    ui->lbl3->setText(u"共 "_s + QString::number(ui->mmo1->Lines().count()) + u" 个图片"_s);
    ui->lbl3->adjustSize();
}

void TForm1::btn3Click()
{
    guarded([this] {
        const velmora::TextList& references = ui->mmo1->Lines();
        const qsizetype count = references.count();
        QStringList addresses;
        addresses.reserve(count);
        for (qsizetype i = 0; i < count; ++i) {
            addresses.append(velmora::addressOfReference(references.line(i), ui->lbledt1->text(),
                                                         ui->lbledt2->text()));
        }
        ui->mmo2->Lines().setLines(addresses);
        const QString page = velmora::testPageText(addresses);
        ui->mmo3->Lines().setText(page);
        const QString path = seams_.programFolder + QString::fromUtf16(velmora::kTestPageName);
        velmora::writeFileAtomically(path, textCodec().encode(page));
        seams_.shellOpen(this, path);
    });
}

void TForm1::btn4Click()
{
    ui->mmo2->Lines().setText(ui->mmo1->Lines().text());
}

QString TForm1::geturlfn(const QString& address) const
{
    return velmora::geturlfn(address);
}

void TForm1::btn5Click()
{
    guarded([this] {
        tag_ = 0;
        ui->ListView1->clear();
        // A new run: whatever earlier workers still report is dropped from here on.
        const int number = run_.number + 1;
        run_ = DownloadRun();
        run_.number = number;
        ui->wb1->Navigate(seams_.links.information);
        ui->wb1->setGeometry(-3, -3, 300, 350);
        ui->pnl3->setVisible(true);
        showRunStatus();
        if (ui->mmo2->Lines().count() == 0)
            return;
        startDownload(tag_, false);
    });
}

void TForm1::tmr1Timer()
{
    guarded([this] {
        tmr1->stop();
        ++tag_;
        if (tag_ > ui->mmo2->Lines().count() - 1) {
            run_.endReached = true;
            finishRunWhenDone();
            return;
        }
        startDownload(tag_, true);
        ui->ListView1->scrollToBottom();
    });
}

void TForm1::startDownload(int index, bool clashTest)
{
    const QString address = ui->mmo2->Lines().line(index);
    QString name = geturlfn(address);
    auto* row = new QTreeWidgetItem(ui->ListView1);
    if (clashTest && !hint_.isEmpty()) {
        // An image of that name already in the folder, or claimed by an earlier row of this run
        // that may still be downloading, makes this one take a number prefix.
        bool taken = QFileInfo(hint_ + name).isFile();
        for (int r = 0; r + 1 < ui->ListView1->topLevelItemCount() && !taken; ++r)
            taken = ui->ListView1->topLevelItem(r)->text(2) == name;
        if (taken)
            name = QString::number(renameNumbers().next()) + u'_' + name;
    }
    row->setText(0, QString::number(index));
    row->setText(1, QString());
    row->setText(2, name);
    row->setText(3, ui->mmo1->Lines().line(index));
    const int rowIndex = ui->ListView1->indexOfTopLevelItem(row);
    ++run_.started;
    run_.succeeded.resize(static_cast<size_t>(rowIndex) + 1, false);

    if (hint_.isEmpty())
        failRow(rowIndex, u"未打开CSS文件"_s);
    else if (!velmora::isSafeFileName(name))
        failRow(rowIndex, u"文件名无效"_s);
    else {
        velmora::DownloadOptions options = seams_.download;
        options.referer = ui->lbledt2->text();
        downloads_->start({address, hint_ + name, rowIndex, run_.number}, std::move(options));
    }
    showRunStatus();
}

void TForm1::failRow(int row, const QString& reason)
{
    downloadFinished(run_.number, row, false, reason, false);
}

void TForm1::armTimer()
{
    // Switching on a running timer would restart its interval; a running one is left alone.
    if (!tmr1->isActive())
        tmr1->start();
}

void TForm1::rowReport(int run, int row, int column, const QString& text)
{
    if (run != run_.number || row >= ui->ListView1->topLevelItemCount())
        return;
    ui->ListView1->topLevelItem(row)->setText(column, text);
}

void TForm1::downloadFinished(int run, int row, bool ok, const QString& reason, bool completion)
{
    if (run != run_.number)
        return;
    ++run_.finished;
    if (ok) {
        run_.succeeded[static_cast<size_t>(row)] = true;
    } else {
        ++run_.failed;
        rowReport(run, row, 0, u"失败"_s + QString::number(row));
        rowReport(run, row, 1, reason);
    }
    // A download that never reported completion has not started the next one yet.
    if (!completion)
        armTimer();
    finishRunWhenDone();
    showRunStatus();
}

void TForm1::finishRunWhenDone()
{
    // The rewrite waits for the last download of the run, and happens once per run.
    if (!run_.endReached || run_.finished < run_.started || run_.rewritten)
        return;
    run_.rewritten = true;
    ui->btn6->click();
    showRunStatus();
}

void TForm1::showRunStatus()
{
    const int total = static_cast<int>(ui->mmo2->Lines().count());
    QString status;
    if (run_.started == 0 && total == 0)
        status = u"没有要下载的图片地址"_s;
    else if (!run_.rewritten)
        status = u"已开始 %1 / %2，完成 %3，失败 %4"_s.arg(run_.started)
                     .arg(total)
                     .arg(run_.finished - run_.failed)
                     .arg(run_.failed);
    else
        status = u"全部结束：完成 %1，失败 %2；%3"_s.arg(run_.finished - run_.failed)
                     .arg(run_.failed)
                     .arg(run_.outcome);
    ui->lbl9->setText(status);
}

void TForm1::btn6Click()
{
    run_.outcome = u"未更改CSS文件"_s;
    const bool done = guarded([this] {
        if (!ui->chk1->isChecked())
            return;
        const QString path = dlgOpen1_.FileName;
        // Only the file the buffer was read from is rewritten: after a failed open the buffer
        // still holds another file's text, which must not be written over the chosen one.
        if (path.isEmpty() || path != styleSheet_.path) {
            run_.outcome = u"未更改CSS文件（CSS文件未能打开）"_s;
            return;
        }
        std::vector<std::pair<QString, QString>> replacements;
        const velmora::TextList& references = ui->mmo1->Lines();
        const int rows = ui->ListView1->topLevelItemCount();
        for (int k = 0; k < references.count() && k < rows; ++k) {
            // A reference whose image did not arrive keeps pointing where it did.
            if (static_cast<size_t>(k) < run_.succeeded.size() && run_.succeeded[k])
                replacements.emplace_back(references.line(k),
                                          ui->ListView1->topLevelItem(k)->text(2));
        }
        velmora::writeFileAtomically(path + u".bak"_s, styleSheet_.bytes);
        run_.outcome = u"已备份，CSS文件未更新"_s;
        styleSheet_.bytes =
            velmora::rewriteReferences(styleSheet_.bytes, styleSheet_.codec, replacements);
        ui->Memo1->Lines().setText(styleSheet_.text());
        velmora::writeFileAtomically(path, styleSheet_.bytes);
        run_.outcome = u"已备份并更新CSS文件"_s;
    });
    if (!done && run_.outcome == u"未更改CSS文件"_s)
        run_.outcome = u"备份失败，未更改CSS文件"_s;
}

void TForm1::lbl4Click()
{
    ui->pnl1->resize(ui->pnl1->width(), ui->pnl1->height() == 140 ? 17 : 140);
}

void TForm1::ts5Show()
{
    ui->wb2->Navigate(seams_.links.guestbook);
}

void TForm1::lbl6Click()
{
    seams_.shellOpen(this, seams_.links.forum.toString());
}
