#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace velmora {

// One match: where it lies in the subject, its text, and the values of its capturing groups by
// 0-based index (index 0 is group 1). A group that took no part reads as empty text.
struct RegExpMatch
{
    qsizetype firstIndex = 0;
    QString value;
    QStringList subMatches;
};

// The same, looking into the subject without copies; valid during the visit only.
struct RegExpMatchView
{
    qsizetype firstIndex = 0;
    QStringView value;
    std::vector<QStringView> subMatches;
};

// The window's regular-expression engine: the settings Global, Pattern and IgnoreCase and an
// Execute over a text, in the ECMAScript-style dialect users know from script engines. Built on
// PCRE2 (16-bit, JIT) with its JavaScript-compatibility options. Differences that remain from a
// script engine: lookbehind must have a bounded length, and the \u{...}, named-group and sticky
// extensions of later ECMAScript editions are PCRE2's own forms.
class RegExp
{
public:
    RegExp();
    ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    void setGlobal(bool global);
    void setPattern(const QString& pattern);
    void setIgnoreCase(bool ignoreCase);
    bool global() const { return global_; }
    const QString& pattern() const { return pattern_; }
    bool ignoreCase() const { return ignoreCase_; }

    // The matches in order of their position, or only the first without Global. An invalid pattern
    // throws Failure with the engine's message and the offset in the pattern.
    std::vector<RegExpMatch> Execute(const QString& subject);
    // Same, but hands each match to visit as a view, without collecting or copying them.
    template <typename Visit> void forEachMatch(const QString& subject, Visit&& visit);

private:
    struct Compiled;
    using MatchCallback = void (*)(void* context, const RegExpMatchView& match);
    void run(const QString& subject, MatchCallback callback, void* context);
    void compile();

    bool global_ = false;
    QString pattern_;
    bool ignoreCase_ = false;
    std::unique_ptr<Compiled> compiled_;
};

template <typename Visit> void RegExp::forEachMatch(const QString& subject, Visit&& visit)
{
    run(
        subject,
        [](void* context, const RegExpMatchView& match) { (*static_cast<Visit*>(context))(match); },
        &visit);
}

} // namespace velmora
