#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velmora {

class RegExp;

// The extraction pattern the window starts with.
inline constexpr char16_t kDefaultPattern[] = u"background(.*?)url\\((.*?)\\)";

// A captured value as a reference: the blanks around it and one pair of enclosing matching quotes
// removed. Empty when the value names no image file (nothing left, or an inline data: image).
std::optional<QStringView> cleanReference(QStringView captured);

// Runs pattern globally and case-insensitively over subject and lists group 2 of every match, in
// order, cleaned, each distinct reference once. A pattern with fewer than two groups lists
// nothing. Throws Failure for an invalid pattern.
QStringList extractReferences(RegExp& engine, const QString& pattern, const QString& subject);

} // namespace velmora
