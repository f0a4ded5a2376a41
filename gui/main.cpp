#include <QApplication>

#include "app/ZelmirtPgmForm.h"
#include "gui/Guarded.h"
#include "gui/PgmFormView.h"
#include "gui/QtApplication.h"
#include "platform/MessageWindow.h"

int main(int argc, char** argv) {
  QApplication toolkit(argc, argv);
  // The window thread's message queue, bound to the toolkit's loop: without it ProcessMessages
  // (the close wait) would not run the toolkit's events and the tick would never come.
  const auto windowThreadQueue = TThreadMessageQueue::Current();
  TQtApplication application;
  TScopedApplication installed(application);
  application.SetTitle("Zelmirt Program");
  int exitCode = 1;
  Guarded([&] {
    TZelmirt_PgmForm form;
    TPgmFormView view(form);
    view.Show();
    exitCode = QApplication::exec();
  });
  return exitCode;
}
