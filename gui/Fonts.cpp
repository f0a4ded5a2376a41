#include "gui/Fonts.h"

#include <algorithm>

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>


#include "app/Controls.h"

namespace {
struct TFontFallback {
  const char* Family;
  QFontDatabase::SystemFont Replacement;
};

constexpr TFontFallback Fallbacks[] = {
    {"MS Sans Serif", QFontDatabase::GeneralFont},
    {"Courier New", QFontDatabase::FixedFont},
};

// The platform's fixed font may name no family (Qt's offscreen platform), and what it then
// matches depends on the fonts installed, not always a fixed-pitch one: take the first
// installed family that is.
QFont FixedPitchFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (QFontInfo(font).fixedPitch()) return font;
  const QStringList families = QFontDatabase::families();
  const auto fixed = std::find_if(families.begin(), families.end(),
                                  [](const QString& Family) { return QFontDatabase::isFixedPitch(Family); });
  if (fixed != families.end()) font.setFamily(*fixed);
  return font;
}

QFont FamilyOrFallback(const std::string& Family) {
  const QString family = QString::fromStdString(Family);
  if (QFontDatabase::families().contains(family)) return QFont(family);
  for (const TFontFallback& fallback : Fallbacks) {
    if (Family != fallback.Family) continue;
    if (fallback.Replacement == QFontDatabase::FixedFont) return FixedPitchFont();
    return QFontDatabase::systemFont(fallback.Replacement);
  }
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}
}  // namespace

QFont ResolveFont(const TFont& Font, const QFont& Inherited) {
  QFont font = Font.Name.empty() ? Inherited : FamilyOrFallback(Font.Name);
  font.setPointSize(Font.Size);
  font.setBold(Font.Bold);
  return font;
}
