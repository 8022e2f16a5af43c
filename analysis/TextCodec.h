#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace velmora {

// The encoding of one style sheet: how its bytes become text for matching and showing, and how a
// reference goes back into bytes for the rewrite.
class TextCodec
{
public:
    // GB18030, the superset of GB2312 and GBK that the Chinese interface was made for.
    TextCodec();
    static TextCodec utf8();
    static TextCodec gb18030();
    // A charset name as a style sheet's @charset rule gives it; empty when no decoder knows it.
    static std::optional<TextCodec> forName(QByteArrayView name);
    // UTF-8 byte order mark, else @charset at the start, else valid UTF-8, else GB18030.
    static TextCodec detect(const QByteArray& bytes);

    const QByteArray& name() const { return name_; }

    QString decode(const QByteArray& bytes) const;
    QByteArray encode(const QString& text) const;
    // Whether a character begins at every byte offset. Empty when every byte that can begin a
    // needle is a character start anyway (single-byte encodings and UTF-8), so a search needs no
    // extra care.
    std::vector<bool> characterStarts(const QByteArray& bytes) const;

    friend bool operator==(const TextCodec&, const TextCodec&) = default;

private:
    enum class Kind
    {
        Utf8,
        Gb18030,
        Other
    };
    TextCodec(Kind kind, QByteArray name) : kind_(kind), name_(std::move(name)) {}

    Kind kind_;
    QByteArray name_;
};

} // namespace velmora
