#include "gui/WindowProgram.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "gui/Guarded.h"
#include "gui/PgmFormView.h"
#include "gui/QtApplication.h"
#include "ipsock/IpWinSockAccess.h"
#include "signals/AppTimer.h"
#include "threads/KtThreads.h"

int RunWindowProgram(int argc, char** argv, const TWindowOptions& Options) {
  QApplication toolkit(argc, argv);
  // Lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QString::fromStdString(WindowProgram.Name));
  TQtApplication application;
  TScopedApplication installed(application);
  int exitCode = 1;
  Guarded([&] {
    // The framework's units start before the program's own steps and end after the window,
    // on this thread, whose loop then carries notifications and pool timers.
    TKtThreadsScope frameworkUnits;
    TAppTimerUnit timerUnit;
    // Loads and starts the socket library now: a failing start-up is reported here.
    TIpSockUnit socketEngineUnit;
    exitCode = RunProgram([&](TZelmirt_PgmForm& Form) {
      TPgmFormView view(Form);
      view.Show();
      if (Options.QuitAfterMs) QTimer::singleShot(*Options.QuitAfterMs, view.Window(), &QWidget::close);
      return QApplication::exec();
    });
  });
  return exitCode;
}
