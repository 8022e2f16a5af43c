#include "StyleSheetRewrite.h"

namespace velmora {

QByteArray replaceAll(const QByteArray& text, const QByteArray& old, const QByteArray& replacement,
                      const TextCodec& codec)
{
    if (old.isEmpty())
        return text;
    qsizetype found = text.indexOf(old);
    if (found < 0)
        return text;
    // Character starts are only worked out once there is something to replace.
    const std::vector<bool> starts = codec.characterStarts(text);
    const auto isStart = [&](qsizetype at) {
        return starts.empty() || starts[static_cast<size_t>(at)];
    };
    QByteArray out;
    out.reserve(text.size());
    qsizetype copied = 0;
    while (found >= 0) {
        if (isStart(found)) {
            out.append(text.constData() + copied, found - copied);
            out.append(replacement);
            copied = found + old.size();
            found = text.indexOf(old, copied);
        } else {
            found = text.indexOf(old, found + 1);
        }
    }
    out.append(text.constData() + copied, text.size() - copied);
    return out;
}

QByteArray rewriteReferences(QByteArray bytes, const TextCodec& codec,
                             const std::vector<std::pair<QString, QString>>& replacements)
{
    for (const auto& [reference, fileName] : replacements)
        bytes = replaceAll(bytes, codec.encode(reference), codec.encode(fileName), codec);
    return bytes;
}

} // namespace velmora
