#include "RegExp.h"

#include "Failure.h"

#include <pcre2.h>

using namespace Qt::StringLiterals;

namespace velmora {

struct RegExp::Compiled
{
    QString pattern;
    bool ignoreCase = false;
    pcre2_code* code = nullptr;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* matchContext = nullptr;
    pcre2_jit_stack* jitStack = nullptr;

    ~Compiled()
    {
        pcre2_jit_stack_free(jitStack);
        pcre2_match_context_free(matchContext);
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }
};

namespace {

QString errorText(int code)
{
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    return length < 0 ? u"error %1"_s.arg(code)
                      : QString(reinterpret_cast<const QChar*>(buffer), length);
}

PCRE2_SPTR16 units(const QString& text)
{
    return reinterpret_cast<PCRE2_SPTR16>(text.utf16());
}

} // namespace

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

void RegExp::setGlobal(bool global)
{
    global_ = global;
}

void RegExp::setPattern(const QString& pattern)
{
    pattern_ = pattern;
}

void RegExp::setIgnoreCase(bool ignoreCase)
{
    ignoreCase_ = ignoreCase;
}

void RegExp::compile()
{
    if (compiled_ && compiled_->pattern == pattern_ && compiled_->ignoreCase == ignoreCase_)
        return;
    compiled_.reset();
    auto compiled = std::make_unique<Compiled>();
    compiled->pattern = pattern_;
    compiled->ignoreCase = ignoreCase_;

    // '.' stops at a line feed only, '$' matches only at the very end, \u and \x read as in a
    // script engine, [] matches nothing, a backreference to an unset group matches empty.
    uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF |
                       PCRE2_ALLOW_EMPTY_CLASS | PCRE2_DOLLAR_ENDONLY;
    if (ignoreCase_)
        options |= PCRE2_CASELESS;
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(context, PCRE2_NEWLINE_LF);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    compiled->code = pcre2_compile(units(pattern_), static_cast<PCRE2_SIZE>(pattern_.size()),
                                   options, &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);
    if (!compiled->code) {
        throw Failure(u"Syntax error in regular expression at offset %1: %2"_s.arg(errorOffset)
                          .arg(errorText(errorCode)));
    }
    // JIT is a speed-up only; where it is unavailable the interpreter gives the same results.
    if (pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE) == 0) {
        compiled->jitStack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
        compiled->matchContext = pcre2_match_context_create(nullptr);
        pcre2_jit_stack_assign(compiled->matchContext, nullptr, compiled->jitStack);
    }
    compiled->matchData = pcre2_match_data_create_from_pattern(compiled->code, nullptr);
    compiled_ = std::move(compiled);
}

std::vector<RegExpMatch> RegExp::Execute(const QString& subject)
{
    std::vector<RegExpMatch> matches;
    forEachMatch(subject, [&](const RegExpMatchView& view) {
        RegExpMatch match;
        match.firstIndex = view.firstIndex;
        match.value = view.value.toString();
        for (const QStringView group : view.subMatches)
            match.subMatches.append(group.toString());
        matches.push_back(std::move(match));
    });
    return matches;
}

void RegExp::run(const QString& subject, MatchCallback callback, void* context)
{
    compile();
    Compiled& c = *compiled_;
    uint32_t groupCount = 0;
    pcre2_pattern_info(c.code, PCRE2_INFO_CAPTURECOUNT, &groupCount);

    const auto length = static_cast<PCRE2_SIZE>(subject.size());
    PCRE2_SIZE offset = 0;
    uint32_t matchOptions = 0;
    RegExpMatchView match;
    while (offset <= length) {
        const int rc = pcre2_match(c.code, units(subject), length, offset, matchOptions,
                                   c.matchData, c.matchContext);
        if (rc == PCRE2_ERROR_NOMATCH)
            return;
        if (rc < 0)
            throw Failure(u"Regular expression failed: %1"_s.arg(errorText(rc)));
        // Checked once; later starts are known to be at character boundaries.
        matchOptions |= PCRE2_NO_UTF_CHECK;

        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(c.matchData);
        const auto slice = [&](uint32_t group) {
            const PCRE2_SIZE start = ovector[2 * group];
            const PCRE2_SIZE end = ovector[2 * group + 1];
            if (start == PCRE2_UNSET || group >= static_cast<uint32_t>(rc))
                return QStringView();
            return QStringView(subject).sliced(static_cast<qsizetype>(start),
                                               static_cast<qsizetype>(end - start));
        };
        match.firstIndex = static_cast<qsizetype>(ovector[0]);
        match.value = slice(0);
        match.subMatches.resize(groupCount);
        for (uint32_t g = 1; g <= groupCount; ++g)
            match.subMatches[g - 1] = slice(g);
        callback(context, match);
        if (!global_)
            return;

        PCRE2_SIZE next = ovector[1];
        if (next == ovector[0]) {
            // An empty match moves on by one character, as script engines do, so that global
            // matching never loops; a surrogate pair is one character.
            if (next >= length)
                return;
            next += QChar::isHighSurrogate(subject.at(static_cast<qsizetype>(next)).unicode()) &&
                            next + 1 < length
                        ? 2
                        : 1;
        }
        offset = next;
    }
}

} // namespace velmora
