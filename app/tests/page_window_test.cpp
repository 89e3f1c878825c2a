// Pages: modal shows that block until the page goes, or nest (a page kept by a refused close:
// the wizard's views test, through its pages).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>

#include "app/page_window.h"
#include "app/testing/test_application.h"

namespace baleport::app {
namespace {

using testing::InsideNextModal;

class ClearingPage : public PageWindow {
 public:
  ClearingPage() : PageWindow("Page", QSize(300, 200), TitleButtons::kCloseOnly) {}
  QLineEdit* text = new QLineEdit(this);

 protected:
  void Form_Load() override { text->clear(); }
};

class PageWindowTest : public ::testing::Test {
 protected:
  struct Application {
    Application() { testing::EnsureApplication(); }
  } application_;  // before the pages
  ClearingPage owner_;
  ClearingPage page_;
};

// A modal show returns once the page is hidden, which keeps its contents (closed, it returns
// too and is loaded afresh: the wizard's views test, through its conversion page).
TEST_F(PageWindowTest, AModalShowReturnsOnceThePageIsHiddenKeepingItsContents) {
  InsideNextModal hiding([&] {
    page_.text->setText("kept");
    page_.hide();
  });
  page_.ShowModal(&owner_);
  EXPECT_TRUE(hiding.ran());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  page_.ShowModeless();
  EXPECT_EQ(page_.text->text(), "kept");  // not loaded again
}

TEST_F(PageWindowTest, ModalShowsNest) {
  bool innerRan = false;
  InsideNextModal outer([&] {
    InsideNextModal inner([&] { owner_.close(); });
    owner_.ShowModal(&page_);
    innerRan = inner.ran();
    EXPECT_EQ(QApplication::activeModalWidget(), &page_) << "the outer page is modal again";
    page_.close();
  });
  page_.ShowModal(nullptr);
  EXPECT_TRUE(outer.ran() && innerRan);
}

}  // namespace
}  // namespace baleport::app
