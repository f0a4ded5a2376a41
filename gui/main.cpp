#include "app/ProgramEntry.h"
#include "gui/WindowProgram.h"

int main(int argc, char** argv) {
  const TWindowOptions options = ReadWindowOptions(ArgumentsOf(argc, argv));
  if (options.Answer) return Print(*options.Answer);
  return RunWindowProgram(argc, argv, options);
}
