#include "Unit1.h"

#include "AddressConversion.h"
#include "AtomicFile.h"
#include "Failure.h"
#include "LinksConfig.h"
#include "ReferenceExtraction.h"
#include "RegExp.h"
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
}

TForm1::~TForm1() = default;

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

void TForm1::guarded(const std::function<void()>& body)
{
    QString message;
    try {
        body();
        return;
    } catch (const velmora::Failure& failure) {
        message = failure.message();
    } catch (const std::exception& failure) {
        message = QString::fromLocal8Bit(failure.what());
    }
    seams_.showError(this, QString::fromUtf16(kApplicationTitle), errorBoxText(message));
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
        QString text;
        for (const QString& reference : references)
            text += reference + u"\r\n"_s;
        list.setText(text);
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
        QString addressText;
        for (const QString& address : addresses)
            addressText += address + u"\r\n"_s;
        ui->mmo2->Lines().setText(addressText);
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
