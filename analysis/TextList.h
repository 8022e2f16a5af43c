#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace velmora {

// An ordered list of text lines, as a multi-line text box holds it: the whole text with CR LF
// line breaks. Every operation that alters the content emits changed() once; an operation that
// leaves it equal emits nothing.
class TextList : public QObject
{
    Q_OBJECT

public:
    explicit TextList(QObject* parent = nullptr);
    explicit TextList(const QString& initial, QObject* parent = nullptr);

    qsizetype count() const;
    // The line without its break; an index at or past the count reads as empty text.
    QString line(qsizetype index) const;
    void append(const QString& line);
    void clear();
    // All lines joined by CR LF, keeping whether the text ended with a break.
    const QString& text() const { return text_; }
    // Returns whether the content changed.
    bool setText(const QString& text);
    // The whole content at once, as appending each line to an empty list would leave it, with a
    // single change notification.
    bool setLines(const QStringList& lines);

signals:
    void changed();

private:
    void indexLines() const;

    QString text_;
    // Start offset of every line, built on first indexed read and dropped on every change, so that
    // walking a long list line by line stays linear.
    mutable std::vector<qsizetype> lineStarts_;
    mutable bool indexed_ = false;
};

} // namespace velmora
