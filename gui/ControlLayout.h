#pragma once

#include <vector>

class QWidget;
class TControl;

struct TPlacedControl {
  TControl* Control;
  QWidget* Widget;
  QWidget* Label;  // the attached label of an edit, or nullptr
};

// Places Children inside Container from their design bounds whenever Container is resized:
// aligned controls stack at the top and bottom around the one that fills the rest; anchored
// controls keep their distances to the anchored edges (left and right: they stretch).
// DesignWidth is the container's client width that the bounds were designed for.
void InstallControlLayout(QWidget* Container, int DesignWidth, std::vector<TPlacedControl> Children);
