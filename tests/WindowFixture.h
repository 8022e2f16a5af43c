#pragma once

#include "Unit1.h"

#include <QStringList>
#include <memory>

// A window whose desktop is recorded instead of used: the next answers of the open dialog are
// queued up front, and every shell open and error box is written down.
struct WindowFixture
{
    QStringList dialogAnswers; // an empty answer stands for a cancelled dialog
    QStringList dialogStarts;
    QStringList opened;
    QStringList errors;
    QStringList errorCaptions;
    std::unique_ptr<TForm1> form;

    explicit WindowFixture(const QString& programFolder, TForm1Seams seams = {})
    {
        seams.askOpenFile = [this](QWidget*, const QString& previous) -> std::optional<QString> {
            dialogStarts.append(previous);
            const QString answer = dialogAnswers.isEmpty() ? QString() : dialogAnswers.takeFirst();
            if (answer.isEmpty())
                return std::nullopt;
            return answer;
        };
        seams.shellOpen = [this](QWidget*, const QString& target) { opened.append(target); };
        seams.showError = [this](QWidget*, const QString& caption, const QString& message) {
            errorCaptions.append(caption);
            errors.append(message);
        };
        seams.programFolder = programFolder;
        form = std::make_unique<TForm1>(std::move(seams));
    }

    template <typename W> W* get(const char* name) const
    {
        W* widget = form->findChild<W*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    void open(const QString& path)
    {
        dialogAnswers.append(path);
        form->btn1Click();
    }
};
