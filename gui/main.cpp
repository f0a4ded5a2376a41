#include <QApplication>

#include "app/ProgramEntry.h"
#include "app/ProgramUnits.h"
#include "gui/Guarded.h"
#include "gui/PgmFormView.h"
#include "gui/QtApplication.h"

int main(int argc, char** argv) {
  QApplication toolkit(argc, argv);
  TQtApplication application;
  TScopedApplication installed(application);
  int exitCode = 1;
  Guarded([&] {
    TProgramUnits units;
    exitCode = RunProgram([](TZelmirt_PgmForm& Form) {
      TPgmFormView view(Form);
      view.Show();
      return QApplication::exec();
    });
  });
  return exitCode;
}
