// baleport-gui: the wizard. The start page is the main window; only its exit question
// ends the program.
#include <QApplication>

#include "app/event_pump.h"
#include "app/fonts.h"
#include "app/icons.h"
#include "app/qt_desktop.h"
#include "conversion/store/pst_store_library.h"
#include "wizard/wizard.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tamsel Baleport"));
  QApplication::setWindowIcon(baleport::app::EnvelopeIcon());
  // Hiding the start page for the multiple-folder page must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  baleport::app::LoadPageFonts();
  baleport::app::InstallEventPump();

  baleport::app::QtDesktop desktop;
  baleport::PstStoreLibrary stores;
  baleport::Wizard wizard(desktop, stores);
  wizard.Run();
  return QApplication::exec();
}
