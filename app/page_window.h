// A wizard page: a window with a fixed border and a fixed client size, created once and
// reused. A page closed by the user loses its contents: the next use loads it afresh
// (Form_Load), as when it was first shown.
#pragma once

#include <QString>
#include <QWidget>

class QEventLoop;

namespace baleport::app {

class PageWindow : public QWidget {
  Q_OBJECT

 public:
  enum class TitleButtons { kCloseOnly, kMinimizeAndClose };

  PageWindow(const QString& caption, QSize client_size, TitleButtons buttons);
  ~PageWindow() override;

  // Shows the page modal to every other page, centred over `owner` (on the screen when
  // there is none), and returns only once the page is closed or hidden. Does nothing
  // while an earlier modal show of the page has not returned yet.
  void ShowModal(PageWindow* owner);
  // Shows the page and returns at once; a page loaded afresh is centred on the screen.
  void ShowModeless();

  // Loads the page if it has no contents yet (first use, or after the user closed it).
  void EnsureLoaded();

 protected:
  // Puts every control into its initial state; runs each time the page is loaded.
  virtual void Form_Load() {}
  // Runs when the page is about to close; false keeps it open.
  virtual bool Form_Unload() { return true; }

  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void CentreOver(const QWidget* owner);

  bool loaded_ = false;
  bool needs_placing_ = true;
  QEventLoop* modal_loop_ = nullptr;
};

}  // namespace baleport::app
