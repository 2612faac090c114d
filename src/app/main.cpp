// Starts Vellquist: the connection window runs its start-up and takes over.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "ui/form1.h"
#include "ui/form_metrics.h"
#include "ui/qt_interaction.h"
#include "ui/window_helpers.h"
#include "ui/window_logic.h"

int main(int argc, char* argv[]) {
  // Answered before Qt starts, so they work without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("vellquist " VQ_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::puts(
        "usage: vellquist [--help | --version]\n"
        "Opens the connection window: name an Access file and a Sybase ASE database,\n"
        "then move tables between them in the tables window. The connection fields\n"
        "are kept in $XDG_CONFIG_HOME/Zelvora.conf. See vellquist(1).");
    return 0;
  }
  QApplication app(argc, argv);
  vq::InstallFontSubstitution();
  QApplication::setApplicationName(QString::fromLatin1(vq::kApplicationTitle));
  QApplication::setWindowIcon(vq::ApplicationIcon());
  // Hiding the connection window must not end the program; closing a window does.
  QApplication::setQuitOnLastWindowClosed(false);

  vq::QtUserDialogs dialogs;
  vq::QtFileChooser chooser;
  vq::QtYielder yielder;
  vq::UiServices services;
  services.program_folder = vq::ProgramFolder();
  services.dialogs = &dialogs;
  services.chooser = &chooser;
  services.yielder = &yielder;
  services.visit_home_page = [] { vq::VisitHomePageOccasionally(); };
  services.end_program = [] { vq::EndProgramNow(); };

  vq::Form1 form1(services);
  dialogs.SetParent(&form1);
  form1.Start();
  return QApplication::exec();
}
