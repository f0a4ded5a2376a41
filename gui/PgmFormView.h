#pragma once

#include <memory>

class QWidget;
class TZelmirt_PgmForm;

// The Qt window that shows a TZelmirt_PgmForm: one widget per control, laid out as designed,
// the tick on a real timer, and the window's show and close events passed on to the form.
// The form must outlive the view.
class TPgmFormView {
public:
  explicit TPgmFormView(TZelmirt_PgmForm& Form);
  ~TPgmFormView();
  TPgmFormView(const TPgmFormView&) = delete;
  TPgmFormView& operator=(const TPgmFormView&) = delete;

  // Shows the window centred on the screen.
  void Show();
  // The top-level widget; each control's widget is its descendant named after the control.
  QWidget* Window() const;

  struct TImpl;

private:
  std::unique_ptr<TImpl> FImpl;
};
