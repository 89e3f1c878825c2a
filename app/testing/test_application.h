// The QApplication of a test program, with the page fonts and the event pump, and a way
// for a test to act inside a modal show, which does not return until the page goes.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace baleport::app::testing {

// Creates the application on first use; it lives to the end of the program.
void EnsureApplication();

// Runs `step` once, inside the next modal page that opens while this object lives (a
// modal page already open when it is made does not count).
class InsideNextModal {
 public:
  explicit InsideNextModal(std::function<void()> step);
  bool ran() const { return ran_; }

 private:
  void Check();

  std::function<void()> step_;
  QPointer<QWidget> modal_before_;
  QTimer timer_;
  bool ran_ = false;
};

}  // namespace baleport::app::testing
