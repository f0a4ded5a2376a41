#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Set.h"

// Toolkit-neutral controls: the state the window's logic reads and writes (captions, texts,
// enabled, visible, checked) plus the design data a view needs to show them (parent, bounds,
// alignment, anchors, font). A view observes a control through OnChange and feeds the user's
// actions back through the control's own operations (SetText, Click, ...).

enum class TAlign { alNone, alTop, alBottom, alClient };
enum class TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;

struct TFont {
  std::string Name;  // empty: the parent's font
  int Size = 8;      // points
  bool Bold = false;
};

struct TBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TBounds&) const = default;
};

class TControl : public TComponent {
public:
  TControl();

  TControl* Parent() const { return FParent; }
  void SetParent(TControl* Value) { FParent = Value; }

  const TBounds& Bounds() const { return FBounds; }
  void SetBounds(int Left, int Top, int Width, int Height);
  int Width() const { return FBounds.Width; }
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value) { FAlign = Value; }
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value) { FAnchors = Value; }
  const TFont& Font() const { return FFont; }
  void SetFont(TFont Value) { FFont = std::move(Value); }
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value) { FTabStop = Value; }

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);

  // The view's hook: runs after any shown property changed.
  void SetOnChange(std::function<void()> Handler) { FOnChange = std::move(Handler); }

protected:
  void Changed();
  // Assigns Value to Field and tells the view, when it differs.
  template <class T>
  void Update(T& Field, const T& Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
  }
  virtual void CaptionChanged() {}

private:
  TControl* FParent = nullptr;
  TBounds FBounds;
  TAlign FAlign = TAlign::alNone;
  TAnchors FAnchors{TAnchorKind::akLeft, TAnchorKind::akTop};
  TFont FFont;
  bool FTabStop = false;
  bool FEnabled = true;
  bool FVisible = true;
  std::string FCaption;
  std::function<void()> FOnChange;
};

using TNotifyEvent = std::function<void(TControl* Sender)>;

class TGroupBox : public TControl {};

// A label that sizes its width to its caption, measured by the view's font when the view
// installs a measure (an estimate of the default font otherwise).
// How a label's text reads: as any other, or as a verdict that succeeded or failed.
enum class TTextTone { ttNormal, ttSuccess, ttFailure };

class TLabel : public TControl {
public:
  // The width of Caption in the font the view shows the tone in (a verdict's is bold).
  using TTextMeasure = std::function<int(const std::string& Caption, TTextTone Tone)>;

  void SetTextMeasure(TTextMeasure Measure);
  // The width the caption needs in the current tone.
  int TextWidth() const;
  TTextTone Tone() const { return FTone; }
  void SetTone(TTextTone Value);

protected:
  void CaptionChanged() override;

private:
  TTextMeasure FMeasure;
  TTextTone FTone = TTextTone::ttNormal;
};

enum class TLabelPosition { lpAbove, lpLeft };

// A single-line edit with its label attached; Caption is the label's text.
class TLabeledEdit : public TControl {
public:
  TLabeledEdit();

  const std::string& Text() const { return FText; }
  // Keeps the text's first line only, as a single-line edit does with a pasted text; the
  // view hears of the cut, so that it shows the kept line.
  void SetText(const std::string& Value);
  TLabelPosition LabelPosition() const { return FLabelPosition; }
  int LabelSpacing() const { return FLabelSpacing; }
  void SetLabelPlacement(TLabelPosition Position, int Spacing);

  // Runs when the edit loses the focus.
  TNotifyEvent OnExit;
  void Exit();

private:
  std::string FText;
  TLabelPosition FLabelPosition = TLabelPosition::lpAbove;
  int FLabelSpacing = 3;
};

class TButton : public TControl {
public:
  TNotifyEvent OnClick;
  void Click();
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box that the program may put into the grayed state. Every change of state, the
// program's or the operator's, runs OnClick; the operator's click turns a checked box
// unchecked and any other box checked.
class TCheckBox : public TControl {
public:
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState Value);
  // Grayed counts as not checked.
  bool Checked() const { return FState == TCheckBoxState::cbChecked; }
  void SetChecked(bool Value);

  TNotifyEvent OnClick;
  void Click();

private:
  TCheckBoxState FState = TCheckBoxState::cbUnchecked;
};

// A progress bar from 0 to 100 that shows its position as a percentage.
class TProgressBar : public TControl {
public:
  int Position() const { return FPosition; }
  void SetPosition(int Value);

private:
  int FPosition = 0;
};

// A read-only multi-line log: lines are only appended or all cleared.
class TMemo : public TControl {
public:
  const std::vector<std::string>& Lines() const { return FLines; }
  void Append(const std::string& Line);
  void Clear();

private:
  std::vector<std::string> FLines;
};

// A status line of fixed-width sections.
class TStatusBar : public TControl {
public:
  struct TPanel {
    std::string Text;
    int Width = 0;
  };

  explicit TStatusBar(int PanelCount);
  int PanelCount() const { return static_cast<int>(FPanels.size()); }
  const TPanel& Panel(int Index) const;
  // Both take effect on the screen at the next Repaint.
  void SetPanelText(int Index, const std::string& Text);
  void SetPanelWidth(int Index, int Width);
  void Repaint() { Changed(); }

private:
  void CheckIndex(int Index) const;

  std::vector<TPanel> FPanels;
};
