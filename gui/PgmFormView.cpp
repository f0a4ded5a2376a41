#include "gui/PgmFormView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <map>
#include <vector>

#include "app/ZelmirtPgmForm.h"
#include "gui/ControlLayout.h"
#include "gui/ControlWidgets.h"
#include "gui/Fonts.h"
#include "gui/Guarded.h"

namespace {
// The main window: its show and close events belong to the form.
class TPgmWindow : public QWidget {
public:
  explicit TPgmWindow(TZelmirt_PgmForm& Form) : FForm(Form) {}

protected:
  void showEvent(QShowEvent* Event) override {
    QWidget::showEvent(Event);
    if (FShown) return;
    FShown = true;
    Guarded([this] { FForm.FormShow(); });
  }

  void closeEvent(QCloseEvent* Event) override {
    bool canClose = false;
    Guarded([&] { canClose = FForm.FormCloseQuery(); });
    if (!canClose) {
      Event->ignore();
      return;
    }
    Guarded([this] { FForm.FormClose(); });
    Event->accept();
  }

private:
  TZelmirt_PgmForm& FForm;
  bool FShown = false;
};
}  // namespace

struct TPgmFormView::TImpl {
  explicit TImpl(TZelmirt_PgmForm& AForm) : Form(AForm), Window(AForm) {}

  void Build();
  void BindTimer();
  void SetTabOrder();

  TZelmirt_PgmForm& Form;
  TPgmWindow Window;
  QTimer Timer;
  std::map<TControl*, TControlWidgets> Widgets;
};

void TPgmFormView::TImpl::Build() {
  Window.setWindowTitle(TZelmirt_PgmForm::WindowCaption);
  Window.setWindowIcon(QIcon(QStringLiteral(":/zelmirt-programmer.svg")));
  Window.setBackgroundRole(QPalette::Button);
  Window.setAutoFillBackground(true);
  const QFont windowFont = ResolveFont(Form.WindowFont(), Window.font());
  Window.setFont(windowFont);

  std::map<QWidget*, std::vector<TPlacedControl>> children;
  std::map<QWidget*, int> designWidths{{&Window, TZelmirt_PgmForm::DesignClientWidth}};
  for (TControl* control : Form.Controls()) {
    QWidget* parent = control->Parent() ? Widgets.at(control->Parent()).Widget : &Window;
    const TControlWidgets widgets = CreateControlWidgets(*control, parent, ResolveFont(control->Font(), parent->font()));
    Widgets[control] = widgets;
    // Tabbing reaches only the tab stops; other controls that take the focus take it on a click.
    if (control->TabStop())
      widgets.Widget->setFocusPolicy(Qt::StrongFocus);
    else if (widgets.Widget->focusPolicy() != Qt::NoFocus)
      widgets.Widget->setFocusPolicy(Qt::ClickFocus);
    children[parent].push_back({control, widgets.Widget, widgets.Label});
    designWidths.emplace(widgets.Widget, control->Bounds().Width);
  }
  for (auto& [container, placed] : children)
    InstallControlLayout(container, designWidths.at(container), std::move(placed));
  Window.resize(TZelmirt_PgmForm::DesignClientWidth, TZelmirt_PgmForm::DesignClientHeight);
  // The controls keep their design heights and the groups their design widths: any smaller,
  // and the memo would cover the program group or the right edge cut off the file buttons.
  Window.setMinimumSize(TZelmirt_PgmForm::DesignClientWidth, TZelmirt_PgmForm::DesignClientHeight);
}

void TPgmFormView::TImpl::BindTimer() {
  TTimer& tick = Form.PgmTimer;
  Timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&Timer, &QTimer::timeout, [&tick] { Guarded([&] { tick.Tick(); }); });
  auto follow = [this, &tick] {
    Timer.setInterval(static_cast<int>(tick.Interval()));
    if (!tick.Enabled()) Timer.stop();
    else if (!Timer.isActive()) Timer.start();
  };
  tick.SetOnChange(follow);
  follow();
}

void TPgmFormView::TImpl::SetTabOrder() {
  QWidget* previous = nullptr;
  for (TControl* control : Form.Controls()) {
    if (!control->TabStop()) continue;
    QWidget* widget = Widgets.at(control).Widget;
    if (previous) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

TPgmFormView::TPgmFormView(TZelmirt_PgmForm& Form) : FImpl(std::make_unique<TImpl>(Form)) {
  FImpl->Build();
  FImpl->BindTimer();
  FImpl->SetTabOrder();
}

TPgmFormView::~TPgmFormView() {
  // The form outlives the widgets: it must not call into them afterwards.
  for (TControl* control : FImpl->Form.Controls()) control->SetOnChange({});
  FImpl->Form.PgmTimer.SetOnChange({});
}

void TPgmFormView::Show() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = FImpl->Window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    FImpl->Window.move(frame.topLeft());
  }
  FImpl->Window.show();
}

QWidget* TPgmFormView::Window() const { return &FImpl->Window; }
