#include "Memo.h"

using namespace Qt::StringLiterals;

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    // Tab moves on to the next control; a list never holds tab characters typed by accident.
    setTabChangesFocus(true);
    connect(&lines_, &velmora::TextList::changed, this, &TMemo::showLines);
    connect(this, &QPlainTextEdit::textChanged, this, &TMemo::takeEdit);
}

void TMemo::showEvent(QShowEvent* event)
{
    if (stale_)
        showLines();
    QPlainTextEdit::showEvent(event);
}

void TMemo::showLines()
{
    if (syncing_)
        return;
    stale_ = isHidden();
    if (stale_)
        return;
    syncing_ = true;
    QString shown = lines_.text();
    shown.replace(u"\r\n"_s, u"\n"_s);
    setPlainText(shown);
    syncing_ = false;
}

void TMemo::takeEdit()
{
    if (syncing_)
        return;
    syncing_ = true;
    lines_.setText(toPlainText());
    syncing_ = false;
}
