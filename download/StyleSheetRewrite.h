#pragma once

#include "TextCodec.h"

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace velmora {

// Replaces every occurrence of old by replacement in text, left to right without overlaps, byte
// for byte and case-sensitive, never starting a match inside a character of codec. An empty old
// matches nothing.
QByteArray replaceAll(const QByteArray& text, const QByteArray& old, const QByteArray& replacement,
                      const TextCodec& codec);

// Points a style sheet's references at their downloaded files: for each (reference, file name) in
// order, every occurrence of the reference is replaced in the text that the earlier ones left.
QByteArray rewriteReferences(QByteArray bytes, const TextCodec& codec,
                             const std::vector<std::pair<QString, QString>>& replacements);

} // namespace velmora
