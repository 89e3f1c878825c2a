// Pages: modal shows that block until the page goes, and the load / unload life cycle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>

#include "app/page_window.h"
#include "app/testing/test_application.h"

namespace baleport::app {
namespace {

using testing::InsideNextModal;

class CountingPage : public PageWindow {
 public:
  CountingPage() : PageWindow("Page", QSize(300, 200), TitleButtons::kCloseOnly) {}
  QLineEdit* text = new QLineEdit(this);
  int loads = 0;
  bool allow_close = true;

 protected:
  void Form_Load() override {
    ++loads;
    text->clear();
  }
  bool Form_Unload() override { return allow_close; }
};

class PageWindowTest : public ::testing::Test {
 protected:
  struct Application {
    Application() { testing::EnsureApplication(); }
  } application_;  // before the pages
  CountingPage owner_;
  CountingPage page_;
};

// A modal show returns once the page is closed, or hidden, which keeps its contents.
TEST_F(PageWindowTest, AModalShowReturnsOnlyOnceThePageGoes) {
  owner_.ShowModeless();
  bool was_modal = false;
  InsideNextModal closing([&] {
    was_modal = QApplication::activeModalWidget() == &page_;
    page_.close();
  });
  page_.ShowModal(&owner_);
  EXPECT_TRUE(closing.ran());
  EXPECT_TRUE(was_modal);
  EXPECT_FALSE(page_.isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  InsideNextModal hiding([&] {
    page_.text->setText("kept");
    page_.hide();
  });
  page_.ShowModal(nullptr);
  EXPECT_TRUE(hiding.ran());
  page_.ShowModeless();
  EXPECT_EQ(page_.text->text(), "kept");
  EXPECT_EQ(page_.loads, 2);  // loaded afresh after the close only
}

// A closed page is loaded afresh on its next use; a refused close keeps it open and loaded.
TEST_F(PageWindowTest, AClosedPageIsLoadedAfreshUnlessTheCloseIsRefused) {
  page_.ShowModeless();
  page_.text->setText("typed");
  page_.allow_close = false;
  page_.close();
  EXPECT_TRUE(page_.isVisible());
  EXPECT_EQ(page_.text->text(), "typed");
  page_.allow_close = true;
  page_.close();
  page_.ShowModeless();
  EXPECT_EQ(page_.loads, 2);
  EXPECT_EQ(page_.text->text(), "");
}

TEST_F(PageWindowTest, ModalShowsNest) {
  std::vector<std::string> steps;
  InsideNextModal outer([&] {
    InsideNextModal inner([&] {
      steps.push_back("inner shown");
      owner_.close();
    });
    owner_.ShowModal(&page_);
    steps.push_back("outer still modal");
    EXPECT_EQ(QApplication::activeModalWidget(), &page_);
    page_.close();
  });
  page_.ShowModal(nullptr);
  steps.push_back("outer returned");
  EXPECT_EQ(steps, (std::vector<std::string>{"inner shown", "outer still modal", "outer returned"}));
}

}  // namespace
}  // namespace baleport::app
