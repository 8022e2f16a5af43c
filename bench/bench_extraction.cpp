// Extraction end to end (load, decode, engine, dedupe, list text) over a generated 10 MB style
// sheet with 50,000 references, half of them repeats, against `grep -oP` running the same
// default pattern over the same file. Prints both times and their ratio.
// Usage: bench_extraction [WORK_FOLDER]

#include "ReferenceExtraction.h"
#include "RegExp.h"
#include "StyleSheet.h"
#include "TextList.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace {

QByteArray generateStyleSheet()
{
    QByteArray css;
    css.reserve(11 << 20);
    const int references = 50000;
    for (int i = 0; i < references; ++i) {
        const int image = i % (references / 2); // every image twice
        css += ".c" + QByteArray::number(i) + " { color: #333; background: #fff url('img/bg_" +
               QByteArray::number(image) +
               ".png') no-repeat left top; margin: 0 auto; padding: 4px 8px; }\r\n";
        // Rules without images fill the sheet out to its size, as real sheets are mostly that.
        css += ".f" + QByteArray::number(i) +
               " { font-family: Tahoma, Arial, sans-serif; font-size: 12px; line-height: 1.5; "
               "border: 1px solid #ccc; }\r\n";
    }
    return css;
}

template <typename F> double bestOf(int runs, F&& body)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        body();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    const QString path = QDir(folder).filePath(u"bench.css"_s);
    const QByteArray css = generateStyleSheet();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(css) != css.size())
        return 1;
    file.close();

    qsizetype listed = 0;
    qsizetype listBytes = 0;
    const double ours = bestOf(5, [&] {
        const velmora::StyleSheet sheet = velmora::StyleSheet::load(path);
        velmora::RegExp engine;
        const QStringList references = velmora::extractReferences(
            engine, QString::fromUtf16(velmora::kDefaultPattern), sheet.text());
        velmora::TextList list;
        list.setLines(references);
        listed = references.size();
        listBytes = list.text().size();
    });

    // Into a file: grep stops at the first match when its output is /dev/null.
    const std::string grep = "LC_ALL=C.UTF-8 grep -oP -i 'background(.*?)url\\((.*?)\\)' '" +
                             path.toStdString() + "' > '" + path.toStdString() + ".out'";
    int status = 0;
    const double theirs = bestOf(5, [&] { status = std::system(grep.c_str()); });
    if (status != 0) {
        std::fprintf(stderr, "grep failed (%d)\n", status);
        return 1;
    }
    std::printf("style sheet: %.1f MB, %d references, %lld listed (%lld characters of list)\n",
                css.size() / 1048576.0, 50000, static_cast<long long>(listed),
                static_cast<long long>(listBytes));
    std::printf("velmora extraction (best of 5): %.3f s\n", ours);
    std::printf("grep -oP, same pattern (best of 5): %.3f s\n", theirs);
    std::printf("ratio velmora / grep: %.2f (must stay within 2.00)\n", ours / theirs);
    return ours / theirs <= 2.0 ? 0 : 2;
}
