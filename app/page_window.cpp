#include "app/page_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace baleport::app {

PageWindow::PageWindow(const QString& caption, QSize client_size, TitleButtons buttons)
    : QWidget(nullptr) {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint;
  if (buttons == TitleButtons::kMinimizeAndClose) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  setWindowTitle(caption);
  setFixedSize(client_size);
}

PageWindow::~PageWindow() = default;

void PageWindow::EnsureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  needs_placing_ = true;
  Form_Load();
}

void PageWindow::ShowModal(PageWindow* owner) {
  // Closed, but a handler of the last show is still running (a conversion finishing
  // behind the closed page): showing it again would start a second one inside it.
  if (modal_loop_) return;
  EnsureLoaded();
  setWindowModality(Qt::ApplicationModal);
  winId();  // the native window must exist to be given an owner
  windowHandle()->setTransientParent(owner ? owner->windowHandle() : nullptr);
  CentreOver(owner);
  show();
  activateWindow();
  QEventLoop loop;
  modal_loop_ = &loop;
  loop.exec(QEventLoop::DialogExec);
  modal_loop_ = nullptr;
}

void PageWindow::ShowModeless() {
  EnsureLoaded();
  setWindowModality(Qt::NonModal);
  if (needs_placing_) CentreOver(nullptr);
  show();
  activateWindow();
}

void PageWindow::CentreOver(const QWidget* owner) {
  needs_placing_ = false;
  QRect area;
  if (owner && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  } else {
    return;
  }
  QRect frame = frameGeometry();
  frame.moveCenter(area.center());
  move(frame.topLeft());
}

void PageWindow::closeEvent(QCloseEvent* event) {
  if (!Form_Unload()) {
    event->ignore();
    return;
  }
  loaded_ = false;
  event->accept();
}

void PageWindow::hideEvent(QHideEvent* event) {
  // A minimised page is not hidden: its modal show goes on.
  if (modal_loop_ && isHidden()) modal_loop_->quit();
  QWidget::hideEvent(event);
}

}  // namespace baleport::app
