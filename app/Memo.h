#pragma once

#include "TextList.h"

#include <QPlainTextEdit>

// A multi-line text box whose content is a text list: Lines() is the list the steps work on, and
// the box shows it. Edits in the box reach the list, and changes of the list reach the box; the
// list's changed() is the box's change notification.
class TMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TMemo(QWidget* parent = nullptr);

    velmora::TextList& Lines() { return lines_; }
    const velmora::TextList& Lines() const { return lines_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showLines();
    void takeEdit();

    velmora::TextList lines_;
    bool syncing_ = false;
    // A hidden box (the style sheet buffer) shows a new list only when it is shown: laying out
    // megabytes of text nobody sees would hold up the window.
    bool stale_ = false;
};
