#include "gui/ControlWidgets.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <memory>
#include <vector>

#include "app/Controls.h"
#include "gui/GroupBoxStyle.h"
#include "gui/Guarded.h"

namespace {
QString Text(const std::string& Value) { return QString::fromStdString(Value); }

// Colours that read on the button face for a verdict: dark enough for the small font.
namespace ToneColour {
const QColor Success(0x00, 0x70, 0x20);
const QColor Failure(0xC0, 0x00, 0x00);
}  // namespace ToneColour

template <class TWidget>
TWidget* Make(QWidget* Parent, const QFont& Font) {
  auto* widget = new TWidget(Parent);
  widget->setFont(Font);
  return widget;
}

// A check box whose click is decided by its control, so that the grayed state is only ever
// set by the program.
class TControlCheckBox : public QCheckBox {
public:
  TControlCheckBox(TCheckBox& Control, QWidget* Parent) : QCheckBox(Parent), FControl(Control) {
    setTristate(true);
  }

protected:
  void nextCheckState() override {
    Guarded([this] { FControl.Click(); });
  }

private:
  TCheckBox& FControl;
};

// Tells the control when its edit loses the focus.
class TExitFilter : public QObject {
public:
  TExitFilter(TLabeledEdit& Control, QObject* Parent) : QObject(Parent), FControl(Control) {}

  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::FocusOut) Guarded([this] { FControl.Exit(); });
    return false;
  }

private:
  TLabeledEdit& FControl;
};

Qt::CheckState CheckStateOf(TCheckBoxState State) {
  switch (State) {
    case TCheckBoxState::cbChecked: return Qt::Checked;
    case TCheckBoxState::cbGrayed: return Qt::PartiallyChecked;
    case TCheckBoxState::cbUnchecked: break;
  }
  return Qt::Unchecked;
}

// Runs Sync now and after every change of the control.
template <class TSync>
void Follow(TControl& Control, QWidget* Widget, TSync Sync) {
  auto common = [&Control, Widget, Sync] {
    Widget->setEnabled(Control.Enabled());
    Widget->setVisible(Control.Visible());
    Sync();
  };
  Control.SetOnChange(common);
  common();
}

QWidget* CreateGroupBox(TGroupBox& Control, QWidget* Parent, const QFont& Font) {
  auto* box = Make<QGroupBox>(Parent, Font);
  box->setStyle(GroupBoxStyle());
  Follow(Control, box, [&Control, box] { box->setTitle(Text(Control.Caption())); });
  return box;
}

TControlWidgets CreateEdit(TLabeledEdit& Control, QWidget* Parent, const QFont& Font) {
  auto* edit = Make<QLineEdit>(Parent, Font);
  auto* label = Make<QLabel>(Parent, Font);
  label->setBuddy(edit);
  QObject::connect(edit, &QLineEdit::textEdited,
                   [&Control](const QString& Value) { Guarded([&] { Control.SetText(Value.toStdString()); }); });
  edit->installEventFilter(new TExitFilter(Control, edit));
  Follow(Control, edit, [&Control, edit, label] {
    label->setText(Text(Control.Caption()));
    label->setEnabled(Control.Enabled());
    label->setVisible(Control.Visible());
    if (edit->text().toStdString() != Control.Text()) edit->setText(Text(Control.Text()));
  });
  return {edit, label};
}

QWidget* CreateButton(TButton& Control, QWidget* Parent, const QFont& Font) {
  auto* button = Make<QPushButton>(Parent, Font);
  QObject::connect(button, &QPushButton::clicked, [&Control] { Guarded([&] { Control.Click(); }); });
  Follow(Control, button, [&Control, button] { button->setText(Text(Control.Caption())); });
  return button;
}

QWidget* CreateCheckBox(TCheckBox& Control, QWidget* Parent, const QFont& Font) {
  auto* box = new TControlCheckBox(Control, Parent);
  box->setFont(Font);
  Follow(Control, box, [&Control, box] {
    box->setText(Text(Control.Caption()));
    box->setCheckState(CheckStateOf(Control.State()));
  });
  return box;
}

QWidget* CreateLabel(TLabel& Control, QWidget* Parent, const QFont& Font) {
  auto* label = Make<QLabel>(Parent, Font);
  const QFont normalFont = label->font();
  // A verdict reads in bold.
  const auto fontOf = [normalFont](TTextTone Tone) {
    QFont font = normalFont;
    if (Tone != TTextTone::ttNormal) font.setBold(true);
    return font;
  };
  Control.SetTextMeasure([plain = QFontMetrics(fontOf(TTextTone::ttNormal)),
                           bold = QFontMetrics(fontOf(TTextTone::ttSuccess))](const std::string& Caption, TTextTone Tone) {
    return (Tone == TTextTone::ttNormal ? plain : bold).horizontalAdvance(Text(Caption));
  });
  const QPalette normal = label->palette();
  Follow(Control, label, [&Control, label, normal, fontOf] {
    label->setText(Text(Control.Caption()));
    label->resize(Control.Width(), label->height());
    QPalette palette = normal;
    if (Control.Tone() == TTextTone::ttSuccess) palette.setColor(QPalette::WindowText, ToneColour::Success);
    if (Control.Tone() == TTextTone::ttFailure) palette.setColor(QPalette::WindowText, ToneColour::Failure);
    label->setPalette(palette);
    label->setFont(fontOf(Control.Tone()));
  });
  return label;
}

QWidget* CreateProgressBar(TProgressBar& Control, QWidget* Parent, const QFont& Font) {
  auto* bar = Make<QProgressBar>(Parent, Font);
  bar->setRange(0, 100);
  bar->setFormat("%p%");
  bar->setTextVisible(true);
  bar->setAlignment(Qt::AlignCenter);
  Follow(Control, bar, [&Control, bar] { bar->setValue(Control.Position()); });
  return bar;
}

QWidget* CreateMemo(TMemo& Control, QWidget* Parent, const QFont& Font) {
  auto* memo = Make<QPlainTextEdit>(Parent, Font);
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto shown = std::make_shared<size_t>(0);
  Follow(Control, memo, [&Control, memo, shown] {
    const std::vector<std::string>& lines = Control.Lines();
    if (lines.size() < *shown) {
      memo->clear();
      *shown = 0;
    }
    for (; *shown < lines.size(); ++*shown) memo->appendPlainText(Text(lines[*shown]));
  });
  return memo;
}

QWidget* CreateStatusBar(TStatusBar& Control, QWidget* Parent, const QFont& Font) {
  auto* bar = Make<QFrame>(Parent, Font);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 2, 0, 0);
  row->setSpacing(2);
  std::vector<QLabel*> sections;
  for (int i = 0; i < Control.PanelCount(); ++i) {
    auto* section = new QLabel(bar);
    section->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    section->setContentsMargins(2, 0, 2, 0);
    row->addWidget(section);
    sections.push_back(section);
  }
  row->addStretch(1);
  Follow(Control, bar, [&Control, sections] {
    for (int i = 0; i < Control.PanelCount(); ++i) {
      sections[static_cast<size_t>(i)]->setText(Text(Control.Panel(i).Text));
      sections[static_cast<size_t>(i)]->setFixedWidth(Control.Panel(i).Width);
    }
  });
  return bar;
}

TControlWidgets CreateWidgetsOfKind(TControl& Control, QWidget* Parent, const QFont& Font) {
  if (auto* edit = dynamic_cast<TLabeledEdit*>(&Control)) return CreateEdit(*edit, Parent, Font);
  QWidget* widget = nullptr;
  if (auto* group = dynamic_cast<TGroupBox*>(&Control)) widget = CreateGroupBox(*group, Parent, Font);
  else if (auto* button = dynamic_cast<TButton*>(&Control)) widget = CreateButton(*button, Parent, Font);
  else if (auto* box = dynamic_cast<TCheckBox*>(&Control)) widget = CreateCheckBox(*box, Parent, Font);
  else if (auto* label = dynamic_cast<TLabel*>(&Control)) widget = CreateLabel(*label, Parent, Font);
  else if (auto* bar = dynamic_cast<TProgressBar*>(&Control)) widget = CreateProgressBar(*bar, Parent, Font);
  else if (auto* memo = dynamic_cast<TMemo*>(&Control)) widget = CreateMemo(*memo, Parent, Font);
  else if (auto* status = dynamic_cast<TStatusBar*>(&Control)) widget = CreateStatusBar(*status, Parent, Font);
  return {widget, nullptr};
}
}  // namespace

TControlWidgets CreateControlWidgets(TControl& Control, QWidget* Parent, const QFont& Font) {
  TControlWidgets widgets = CreateWidgetsOfKind(Control, Parent, Font);
  if (widgets.Widget) widgets.Widget->setObjectName(QString::fromStdString(Control.Name()));
  return widgets;
}
