#include "TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

namespace velmora {
namespace {

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF, no cut-off sequence.
bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        // ASCII, the bulk of any style sheet, eight bytes at a time.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0)
                low = 0xA0;
            else if (b == 0xED)
                high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0)
                low = 0x90;
            else if (b == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF)
                return false;
        }
        p += length;
    }
    return true;
}

// The @charset rule must open the style sheet, exactly as `@charset "name";`.
std::optional<QByteArray> declaredCharset(const QByteArray& bytes)
{
    static constexpr QByteArrayView opening = "@charset \"";
    if (!bytes.startsWith(opening))
        return std::nullopt;
    const qsizetype end = bytes.indexOf('"', opening.size());
    if (end < 0 || end - opening.size() > 40)
        return std::nullopt;
    return bytes.sliced(opening.size(), end - opening.size());
}

bool isGbFamily(const QByteArray& lower)
{
    return lower == "gb18030" || lower == "gbk" || lower == "gb2312" || lower == "x-gbk" ||
           lower == "cp936" || lower == "windows-936" || lower == "euc-cn";
}

} // namespace

TextCodec::TextCodec() : TextCodec(Kind::Gb18030, "GB18030") {}

TextCodec TextCodec::utf8()
{
    return TextCodec(Kind::Utf8, "UTF-8");
}

TextCodec TextCodec::gb18030()
{
    return TextCodec();
}

std::optional<TextCodec> TextCodec::forName(QByteArrayView name)
{
    const QByteArray lower = name.toByteArray().trimmed().toLower();
    if (lower == "utf-8" || lower == "utf8")
        return utf8();
    if (isGbFamily(lower))
        return gb18030();
    if (QStringDecoder(lower.constData()).isValid() && QStringEncoder(lower.constData()).isValid())
        return TextCodec(Kind::Other, lower);
    return std::nullopt;
}

TextCodec TextCodec::detect(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return utf8();
    if (const auto declared = declaredCharset(bytes)) {
        if (auto codec = forName(*declared))
            return *codec;
    }
    if (isValidUtf8(bytes))
        return utf8();
    return gb18030();
}

QString TextCodec::decode(const QByteArray& bytes) const
{
    if (kind_ == Kind::Utf8)
        return QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes);
    QStringDecoder decoder(name_.constData(), QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray TextCodec::encode(const QString& text) const
{
    if (kind_ == Kind::Utf8)
        return text.toUtf8();
    QStringEncoder encoder(name_.constData(), QStringEncoder::Flag::Stateless);
    return encoder.encode(text);
}

std::vector<bool> TextCodec::characterStarts(const QByteArray& bytes) const
{
    std::vector<bool> starts;
    if (kind_ == Kind::Utf8)
        return starts;
    starts.assign(static_cast<size_t>(bytes.size()), false);
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    if (kind_ == Kind::Gb18030) {
        // One byte below 0x81; else a lead byte followed by a trail byte (two bytes) or by a
        // digit, a lead and a digit (four bytes). A malformed sequence counts one byte at a time.
        qsizetype i = 0;
        while (i < bytes.size()) {
            starts[static_cast<size_t>(i)] = true;
            const unsigned char b = byteAt(i);
            qsizetype length = 1;
            if (b >= 0x81 && b <= 0xFE && i + 1 < bytes.size()) {
                const unsigned char b2 = byteAt(i + 1);
                if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE))
                    length = 2;
                else if (b2 >= 0x30 && b2 <= 0x39 && i + 3 < bytes.size() &&
                         byteAt(i + 2) >= 0x81 && byteAt(i + 2) <= 0xFE && byteAt(i + 3) >= 0x30 &&
                         byteAt(i + 3) <= 0x39)
                    length = 4;
            }
            i += length;
        }
        return starts;
    }
    // Any other charset: feed the bytes one at a time; a character is complete as soon as the
    // decoder gives it out, and the next byte begins the next one.
    QStringDecoder decoder(name_.constData());
    bool atStart = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        starts[static_cast<size_t>(i)] = atStart;
        const QString out = decoder.decode(QByteArrayView(bytes.constData() + i, 1));
        atStart = !out.isEmpty();
    }
    return starts;
}

} // namespace velmora
