#pragma once

class QFont;
class QWidget;
class TControl;

struct TControlWidgets {
  QWidget* Widget = nullptr;
  QWidget* Label = nullptr;  // the attached label of an edit
};

// Creates the widget that shows Control inside Parent and keeps both in step: the control's
// changes reach the widget through its OnChange, the operator's actions reach the control
// through its own operations. The widgets show Font, belong to Parent and carry the
// control's name.
TControlWidgets CreateControlWidgets(TControl& Control, QWidget* Parent, const QFont& Font);
