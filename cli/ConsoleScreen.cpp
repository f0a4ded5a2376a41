#include "cli/ConsoleScreen.h"

namespace {
constexpr const char* CursorUp = "\033[A";
constexpr const char* ClearToEnd = "\033[J";
}  // namespace

TConsoleScreen::TConsoleScreen(FILE* Output, FILE* Errors, bool Terminal)
    : FOutput(Output), FErrors(Errors), FTerminal(Terminal) {}

void TConsoleScreen::Line(const std::string& Text) { Write(FOutput, Text); }

void TConsoleScreen::ErrorLine(const std::string& Text) { Write(FErrors, Text); }

void TConsoleScreen::Write(FILE* Stream, const std::string& Text) {
  ClearBars();
  std::fprintf(Stream, "%s\n", Text.c_str());
  std::fflush(Stream);
  DrawBars();
}

void TConsoleScreen::SetBar(size_t Index, const std::string& Text) {
  if (!FTerminal) return;
  ClearBars();
  FBars[Index] = Text;
  DrawBars();
}

void TConsoleScreen::KeepBars() {
  if (FBarLinesShown > 0) std::fputs("\n", FOutput);
  std::fflush(FOutput);
  FBarLinesShown = 0;
  FBars.clear();
}

void TConsoleScreen::ClearBars() {
  if (FBarLinesShown == 0) return;
  std::string clear = "\r";
  for (size_t line = 1; line < FBarLinesShown; ++line) clear += CursorUp;
  std::fputs((clear + ClearToEnd).c_str(), FOutput);
  std::fflush(FOutput);
  FBarLinesShown = 0;
}

void TConsoleScreen::DrawBars() {
  if (FBars.empty()) return;
  std::string text;
  for (const auto& [index, bar] : FBars) text += (text.empty() ? "" : "\n") + bar;
  std::fputs(text.c_str(), FOutput);
  std::fflush(FOutput);
  FBarLinesShown = FBars.size();
}
