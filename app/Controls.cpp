#include "app/Controls.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/Format.h"

namespace {
// Average character width of the 8 point default font, used until a view measures text.
constexpr int EstimatedCharWidth = 6;
}  // namespace

TControl::TControl() : TComponent(nullptr) {}

void TControl::SetBounds(int Left, int Top, int Width, int Height) {
  Update(FBounds, TBounds{Left, Top, Width, Height});
}

void TControl::SetEnabled(bool Value) { Update(FEnabled, Value); }

void TControl::SetVisible(bool Value) { Update(FVisible, Value); }

void TControl::SetCaption(const std::string& Value) {
  if (FCaption == Value) return;
  FCaption = Value;
  CaptionChanged();
  Changed();
}

void TControl::Changed() {
  if (FOnChange) FOnChange();
}

void TLabel::SetTextMeasure(TTextMeasure Measure) {
  FMeasure = std::move(Measure);
  CaptionChanged();
}

int TLabel::TextWidth() const {
  if (FMeasure) return FMeasure(Caption(), FTone);
  return static_cast<int>(Caption().size()) * EstimatedCharWidth;
}

void TLabel::SetTone(TTextTone Value) {
  if (FTone == Value) return;
  FTone = Value;
  // The width first, so that the view shows the new tone at the width its font needs.
  CaptionChanged();
  Changed();
}

void TLabel::CaptionChanged() {
  const TBounds& b = Bounds();
  SetBounds(b.Left, b.Top, TextWidth(), b.Height);
}

TLabeledEdit::TLabeledEdit() { SetTabStop(true); }

void TLabeledEdit::SetText(const std::string& Value) {
  const std::string firstLine = Value.substr(0, Value.find_first_of("\r\n"));
  if (FText == firstLine && firstLine.size() == Value.size()) return;
  FText = firstLine;
  Changed();
}

void TLabeledEdit::SetLabelPlacement(TLabelPosition Position, int Spacing) {
  FLabelPosition = Position;
  FLabelSpacing = Spacing;
  Changed();
}

void TLabeledEdit::Exit() {
  if (OnExit) OnExit(this);
}

void TButton::Click() {
  if (Enabled() && OnClick) OnClick(this);
}

void TCheckBox::SetState(TCheckBoxState Value) {
  if (FState == Value) return;
  FState = Value;
  Changed();
  if (OnClick) OnClick(this);
}

void TCheckBox::SetChecked(bool Value) {
  SetState(Value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

void TCheckBox::Click() {
  if (Enabled()) SetChecked(!Checked());
}

void TProgressBar::SetPosition(int Value) { Update(FPosition, std::clamp(Value, 0, 100)); }

void TMemo::Append(const std::string& Line) {
  FLines.push_back(Line);
  Changed();
}

void TMemo::Clear() {
  if (FLines.empty()) return;
  FLines.clear();
  Changed();
}

TStatusBar::TStatusBar(int PanelCount) : FPanels(static_cast<size_t>(PanelCount)) {}

const TStatusBar::TPanel& TStatusBar::Panel(int Index) const {
  CheckIndex(Index);
  return FPanels[static_cast<size_t>(Index)];
}

void TStatusBar::SetPanelText(int Index, const std::string& Text) {
  CheckIndex(Index);
  FPanels[static_cast<size_t>(Index)].Text = Text;
}

void TStatusBar::SetPanelWidth(int Index, int Width) {
  CheckIndex(Index);
  FPanels[static_cast<size_t>(Index)].Width = Width;
}

void TStatusBar::CheckIndex(int Index) const {
  if (Index < 0 || Index >= PanelCount())
    throw EListError(Format("Status line section %d does not exist (0..%d)", Index, PanelCount() - 1));
}
