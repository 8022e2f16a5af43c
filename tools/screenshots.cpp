// Renders every page of the window to PNG files, for the README and for looking at the window
// without a desktop. Usage: velmora_screenshots OUTPUT_FOLDER [STYLE_SHEET]

#include "Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fputs("usage: velmora_screenshots OUTPUT_FOLDER [STYLE_SHEET]\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString sheet = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    TForm1Seams seams;
    seams.askOpenFile = [sheet](QWidget*, const QString&) -> std::optional<QString> {
        if (sheet.isEmpty())
            return std::nullopt;
        return sheet;
    };
    seams.shellOpen = [](QWidget*, const QString&) {};
    seams.showError = [](QWidget*, const QString&, const QString& message) {
        std::fprintf(stderr, "error box: %s\n", qPrintable(message));
    };
    seams.programFolder = QDir::tempPath() + u'/';
    TForm1 form(seams);
    form.show();

    if (!sheet.isEmpty()) {
        form.btn1Click();
        form.btn2Click();
        // Addresses this tool never fetches: the run fills the table with refusals at once and
        // sends nothing anywhere.
        form.findChild<QLineEdit*>(u"lbledt1"_s)->setText(u"file:///site"_s);
        form.findChild<QLineEdit*>(u"lbledt2"_s)->setText(u"file:///site/css/"_s);
        form.btn3Click();
        // References that already are full web addresses would be fetched: point them at files.
        auto* addresses = form.findChild<QPlainTextEdit*>(u"mmo2"_s);
        addresses->setPlainText(addresses->toPlainText()
                                    .replace(u"https://"_s, u"file://"_s)
                                    .replace(u"http://"_s, u"file://"_s));
        // The style sheet shown is only looked at: it is neither backed up nor rewritten.
        form.findChild<QCheckBox*>(u"chk1"_s)->setChecked(false);
        form.btn5Click();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1500)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    auto* pages = form.findChild<QTabWidget*>(u"pgc1"_s);
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        const QString file = out.filePath(u"page%1.png"_s.arg(i + 1));
        if (!form.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
