#pragma once

#include <cstdio>
#include <map>
#include <string>

// Where the command writes: lines on the output or the error stream and, on a terminal,
// one progress bar a device below them, redrawn in place. The bars stay the last lines:
// they are taken away for each line and drawn again below it.
class TConsoleScreen {
public:
  TConsoleScreen(FILE* Output, FILE* Errors, bool Terminal);

  bool Terminal() const { return FTerminal; }
  void Line(const std::string& Text);
  void ErrorLine(const std::string& Text);
  // Sets the bar of device Index (bars are shown in the order of their indexes).
  void SetBar(size_t Index, const std::string& Text);
  // Leaves the bars on the screen as they stand; what follows goes below them.
  void KeepBars();

private:
  void Write(FILE* Stream, const std::string& Text);
  void ClearBars();
  void DrawBars();

  FILE* FOutput;
  FILE* FErrors;
  bool FTerminal;
  std::map<size_t, std::string> FBars;
  // The bar lines on the screen now; the cursor stands at the end of the last.
  size_t FBarLinesShown = 0;
};
