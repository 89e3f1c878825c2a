// baleport-gui: the wizard. The start page is the main window; only its exit question
// ends the program.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/event_pump.h"
#include "app/fonts.h"
#include "app/icons.h"
#include "app/qt_desktop.h"
#include "conversion/store/pst_store_library.h"
#include "wizard/wizard.h"

namespace {

constexpr char kUsage[] =
    "Usage: baleport-gui [Qt options]\n"
    "Opens the Tamsel Baleport wizard, which converts folders of Outlook message files (.msg)\n"
    "into Outlook data files (.pst). The same conversion runs in a terminal with baleport;\n"
    "see man baleport.\n"
    "\n"
    "  -h, --help     print this text\n"
    "      --version  print the version\n";

// Answered before the window system is reached, so that they work without a display.
bool AnsweredOnTheTerminal(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("baleport-gui " BALEPORT_VERSION);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnsweredOnTheTerminal(argc, argv)) return 0;
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
