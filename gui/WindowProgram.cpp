#include "gui/WindowProgram.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "app/ProgramUnits.h"
#include "gui/Guarded.h"
#include "gui/PgmFormView.h"
#include "gui/QtApplication.h"

int RunWindowProgram(int argc, char** argv, const TWindowOptions& Options) {
  QApplication toolkit(argc, argv);
  // Lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QString::fromStdString(WindowProgram.Name));
  TQtApplication application;
  TScopedApplication installed(application);
  int exitCode = 1;
  Guarded([&] {
    TProgramUnits units;
    exitCode = RunProgram([&](TZelmirt_PgmForm& Form) {
      TPgmFormView view(Form);
      view.Show();
      if (Options.QuitAfterMs) QTimer::singleShot(*Options.QuitAfterMs, view.Window(), &QWidget::close);
      return QApplication::exec();
    });
  });
  return exitCode;
}
