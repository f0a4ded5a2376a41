#include "gui/Fonts.h"

#include <QFont>
#include <QFontDatabase>
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

QFont FamilyOrFallback(const std::string& Family) {
  const QString family = QString::fromStdString(Family);
  if (QFontDatabase::families().contains(family)) return QFont(family);
  for (const TFontFallback& fallback : Fallbacks)
    if (Family == fallback.Family) return QFontDatabase::systemFont(fallback.Replacement);
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}
}  // namespace

QFont ResolveFont(const TFont& Font, const QFont& Inherited) {
  QFont font = Font.Name.empty() ? Inherited : FamilyOrFallback(Font.Name);
  font.setPointSize(Font.Size);
  font.setBold(Font.Bold);
  return font;
}
