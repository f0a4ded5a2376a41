#include "gui/GroupBoxStyle.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>

QStyle* GroupBoxStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    // The classic style draws the title in the frame line; the platform's own style may not.
    style = QStyleFactory::create("Windows");
    if (!style) return QApplication::style();
    style->setParent(QApplication::instance());
  }
  return style;
}
