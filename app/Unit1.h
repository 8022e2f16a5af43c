#pragma once

#include "StyleSheet.h"
#include "UrlDownload.h"

#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TForm1;
}
class QTimer;
namespace velmora {
class DownloadThreads;
class RegExp;
} // namespace velmora

// The name of the program in the task bar and the caption of every error box.
inline constexpr char16_t kApplicationTitle[] = u"Velmora - Dorsik出品";

// The error box's message: a closing full stop is added unless the message already ends with a
// character that sorts at or before it (".", "!", ")").
QString errorBoxText(const QString& message);

// Addresses outside the program; the build settings give their defaults.
struct OutsideLinks
{
    QUrl guestbook;
    QUrl forum;
    QUrl information;
    QUrl partner;
    QUrl home;
    static OutsideLinks fromBuild();
};

// What the window asks of the desktop. Each defaults to the real thing; tests put in their own so
// that no modal dialog or outside program ever opens.
struct TForm1Seams
{
    // Asks for a style sheet to open, starting at the previous choice; nothing when cancelled.
    std::function<std::optional<QString>(QWidget* owner, const QString& previous)> askOpenFile;
    // Hands a file or an address to its default program.
    std::function<void(QWidget* owner, const QString& fileOrAddress)> shellOpen;
    // Shows a failure: stop icon, caption and message.
    std::function<void(QWidget* owner, const QString& caption, const QString& message)> showError;
    // The folder of the program's own file, with its trailing delimiter.
    QString programFolder;
    OutsideLinks links = OutsideLinks::fromBuild();
    // Timeouts and retries of the downloads.
    velmora::DownloadOptions download;
};

// The open-file dialog's lasting part: the path it keeps after it closes.
struct TOpenDialog
{
    QString FileName;
    QString Filter = QStringLiteral("*.css");
};

class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(TForm1Seams seams = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Handlers, named after their control and event.
    void FormShow();
    void btn1Click();
    void btn2Click();
    void mmo1Change();
    void btn3Click();
    void btn4Click();
    void btn5Click();
    void tmr1Timer();
    void btn6Click();
    void lbl4Click();
    void ts5Show();
    void lbl6Click();
    QString geturlfn(const QString& address) const;

    // The style sheet folder, with its trailing delimiter; never shown as a tooltip.
    const QString& Hint() const { return hint_; }
    // The current index of a download run.
    int Tag() const { return tag_; }
    const TOpenDialog& dlgOpen1() const { return dlgOpen1_; }
    const velmora::StyleSheet& styleSheet() const { return styleSheet_; }
    // The encoding the test page and the rewrite use: the style sheet's, GB18030 before one is
    // opened.
    const velmora::TextCodec& textCodec() const { return styleSheet_.codec; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One download run, from a press of btn5 to the rewrite at its end.
    struct DownloadRun
    {
        int number = 0;
        int started = 0;
        int finished = 0;
        int failed = 0;
        bool endReached = false;
        bool rewritten = false;
        std::vector<bool> succeeded; // by row
        QString outcome;
    };

    // Runs a handler's body; a failure ends it and is shown in the error box. Returns whether the
    // body ran to its end.
    bool guarded(const std::function<void()>& body);
    void setLabelText(class QLabel* label, const QString& text);
    void startDownload(int index, bool clashTest);
    void failRow(int row, const QString& reason);
    void armTimer();
    void rowReport(int run, int row, int column, const QString& text);
    void downloadFinished(int run, int row, bool ok, const QString& reason, bool completion);
    void finishRunWhenDone();
    void showRunStatus();

    std::unique_ptr<Ui::TForm1> ui;
    TForm1Seams seams_;
    TOpenDialog dlgOpen1_;
    QString hint_;
    int tag_ = 0;
    velmora::StyleSheet styleSheet_;
    std::unique_ptr<velmora::RegExp> RegExp1;
    QTimer* tmr1 = nullptr;
    std::unique_ptr<velmora::DownloadThreads> downloads_;
    DownloadRun run_;
    bool centred_ = false;
};
