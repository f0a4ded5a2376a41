#include "gui/ControlLayout.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>

#include "app/Controls.h"

namespace {
class TControlLayout : public QObject {
public:
  TControlLayout(QWidget* Container, int DesignWidth, std::vector<TPlacedControl> Children)
      : QObject(Container), FContainer(Container), FDesignWidth(DesignWidth), FChildren(std::move(Children)) {
    Container->installEventFilter(this);
  }

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == FContainer && Event->type() == QEvent::Resize) Place();
    return false;
  }

private:
  void Place() {
    const int width = FContainer->width();
    int top = 0;
    int bottom = FContainer->height();
    for (const TPlacedControl& child : FChildren)
      if (child.Control->Align() == TAlign::alTop) {
        child.Widget->setGeometry(0, top, width, child.Control->Bounds().Height);
        top += child.Control->Bounds().Height;
      }
    // The last one designed sits lowest.
    for (auto child = FChildren.rbegin(); child != FChildren.rend(); ++child)
      if (child->Control->Align() == TAlign::alBottom) {
        bottom -= child->Control->Bounds().Height;
        child->Widget->setGeometry(0, bottom, width, child->Control->Bounds().Height);
      }
    for (const TPlacedControl& child : FChildren) {
      if (child.Control->Align() == TAlign::alClient)
        child.Widget->setGeometry(0, top, width, std::max(0, bottom - top));
      else if (child.Control->Align() == TAlign::alNone)
        PlaceAnchored(child, width - FDesignWidth);
    }
  }

  static void PlaceAnchored(const TPlacedControl& Child, int WidthChange) {
    const TBounds& b = Child.Control->Bounds();
    const TAnchors anchors = Child.Control->Anchors();
    int left = b.Left;
    int width = b.Width;
    if (anchors.Contains(TAnchorKind::akRight)) {
      if (anchors.Contains(TAnchorKind::akLeft))
        width = std::max(0, width + WidthChange);
      else
        left += WidthChange;
    }
    // A label is at least as high as its font needs.
    const bool isLabel = dynamic_cast<const TLabel*>(Child.Control) != nullptr;
    const int height = isLabel ? std::max(b.Height, Child.Widget->sizeHint().height()) : b.Height;
    Child.Widget->setGeometry(left, b.Top, width, height);
    if (Child.Label) PlaceLabel(*Child.Control, *Child.Label, left, b.Top, height);
  }

  static void PlaceLabel(const TControl& Control, QWidget& Label, int Left, int Top, int Height) {
    const auto& edit = static_cast<const TLabeledEdit&>(Control);
    const QSize size = Label.sizeHint();
    if (edit.LabelPosition() == TLabelPosition::lpAbove)
      Label.setGeometry(Left, Top - size.height() - edit.LabelSpacing(), size.width(), size.height());
    else
      Label.setGeometry(Left - size.width() - edit.LabelSpacing(), Top + (Height - size.height()) / 2,
                        size.width(), size.height());
  }

  QWidget* FContainer;
  int FDesignWidth;
  std::vector<TPlacedControl> FChildren;
};
}  // namespace

void InstallControlLayout(QWidget* Container, int DesignWidth, std::vector<TPlacedControl> Children) {
  // Parented to the container, which frees it.
  new TControlLayout(Container, DesignWidth, std::move(Children));
}
