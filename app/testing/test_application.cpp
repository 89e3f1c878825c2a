#include "app/testing/test_application.h"

#include <QApplication>

#include "app/event_pump.h"
#include "app/fonts.h"

namespace baleport::app::testing {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "baleport-test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    auto* created = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    LoadPageFonts();
    InstallEventPump();
    return created;
  }();
  (void)application;
}

InsideNextModal::InsideNextModal(std::function<void()> step)
    : step_(std::move(step)), modal_before_(QApplication::activeModalWidget()) {
  timer_.setInterval(1);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
  timer_.start();
}

void InsideNextModal::Check() {
  QWidget* modal = QApplication::activeModalWidget();
  if (ran_ || !modal || modal == modal_before_) return;
  ran_ = true;
  timer_.stop();
  step_();
}

}  // namespace baleport::app::testing
