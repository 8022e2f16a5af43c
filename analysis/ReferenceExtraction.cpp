#include "ReferenceExtraction.h"

#include "RegExp.h"

#include <QSet>

namespace velmora {
namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

} // namespace

std::optional<QStringView> cleanReference(QStringView captured)
{
    qsizetype begin = 0;
    qsizetype end = captured.size();
    while (begin < end && isBlank(captured[begin]))
        ++begin;
    while (end > begin && isBlank(captured[end - 1]))
        --end;
    if (end - begin >= 2) {
        const QChar first = captured[begin];
        if ((first == u'\'' || first == u'"') && captured[end - 1] == first) {
            ++begin;
            --end;
        }
    }
    if (begin == end)
        return std::nullopt;
    const QStringView value = captured.sliced(begin, end - begin);
    if (value.startsWith(u"data:", Qt::CaseInsensitive))
        return std::nullopt;
    return value;
}

QStringList extractReferences(RegExp& engine, const QString& pattern, const QString& subject)
{
    engine.setGlobal(true);
    engine.setPattern(pattern);
    engine.setIgnoreCase(true);

    QStringList references;
    QSet<QString> seen;
    engine.forEachMatch(subject, [&](const RegExpMatchView& match) {
        if (match.subMatches.size() < 2)
            return;
        const std::optional<QStringView> cleaned = cleanReference(match.subMatches[1]);
        if (!cleaned)
            return;
        QString reference = cleaned->toString();
        if (seen.contains(reference))
            return;
        seen.insert(reference);
        references.append(std::move(reference));
    });
    return references;
}

} // namespace velmora
