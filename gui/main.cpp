#include <QApplication>

#include "app/ZelmirtPgmForm.h"
#include "gui/Guarded.h"
#include "gui/PgmFormView.h"
#include "gui/QtApplication.h"

int main(int argc, char** argv) {
  QApplication toolkit(argc, argv);
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
