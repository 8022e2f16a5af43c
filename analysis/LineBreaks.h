#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// Every line break (CR LF, a lone CR, a lone LF) becomes CR LF. Works on text and on bytes alike:
// both CR and LF are single units in every encoding a style sheet may use.
template <typename Text> Text toCrLf(const Text& in)
{
    // Most style sheets already break their lines with CR LF, or not at all: nothing to do.
    qsizetype at = 0;
    bool normal = true;
    while (normal) {
        const qsizetype lf = in.indexOf('\n', at);
        const qsizetype cr = in.indexOf('\r', at);
        if (lf < 0 && cr < 0)
            break;
        normal = cr >= 0 && (lf < 0 || cr < lf) && cr + 1 == lf;
        at = lf + 1;
    }
    if (normal)
        return in;

    qsizetype breaks = 0;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\r' || in[i] == '\n')
            ++breaks;
    }
    if (breaks == 0)
        return in;
    Text out;
    out.reserve(in.size() + breaks);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const auto c = in[i];
        if (c == '\r') {
            out.append('\r').append('\n');
            if (i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out.append('\r').append('\n');
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace velmora
