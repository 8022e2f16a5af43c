#include "TextList.h"

#include "LineBreaks.h"

using namespace Qt::StringLiterals;

namespace velmora {

TextList::TextList(QObject* parent) : QObject(parent) {}

TextList::TextList(const QString& initial, QObject* parent)
    : QObject(parent), text_(toCrLf(initial))
{}

qsizetype TextList::count() const
{
    indexLines();
    return static_cast<qsizetype>(lineStarts_.size());
}

QString TextList::line(qsizetype index) const
{
    indexLines();
    if (index < 0 || index >= static_cast<qsizetype>(lineStarts_.size()))
        return {};
    const qsizetype start = lineStarts_[static_cast<size_t>(index)];
    qsizetype end = text_.indexOf(u"\r\n", start);
    if (end < 0)
        end = text_.size();
    return text_.sliced(start, end - start);
}

void TextList::append(const QString& line)
{
    QString added;
    if (!text_.isEmpty() && !text_.endsWith(u"\r\n"))
        added += u"\r\n"_s;
    added += toCrLf(line);
    added += u"\r\n"_s;
    text_ += added;
    indexed_ = false;
    emit changed();
}

void TextList::clear()
{
    setText({});
}

bool TextList::setText(const QString& text)
{
    QString normalized = toCrLf(text);
    if (normalized == text_)
        return false;
    text_ = std::move(normalized);
    indexed_ = false;
    emit changed();
    return true;
}

bool TextList::setLines(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + u"\r\n"_s;
    return setText(text);
}

void TextList::indexLines() const
{
    if (indexed_)
        return;
    lineStarts_.clear();
    qsizetype start = 0;
    while (start < text_.size()) {
        lineStarts_.push_back(start);
        const qsizetype br = text_.indexOf(u"\r\n", start);
        if (br < 0)
            break;
        start = br + 2;
    }
    indexed_ = true;
}

} // namespace velmora
