// The page logic of the whole wizard over a host whose user is a script: answers and folder
// picks are queued in advance, and every request is recorded for the test to check. A request
// nothing was queued for is recorded in `unscripted` and answered as a cancel (No, empty). A
// modal show returns at once, the page closed by its close box.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "files/tests/test_tree.h"
#include "wizard/pages/wizard_pages.h"

namespace baleport::testing {

class ScriptedHost : public PageHost {
 public:
  WizardPages pages{*this};

  std::deque<MessageAnswer> answers;
  std::deque<std::string> folder_picks;
  std::string desktop_folder = "/home/user/Desktop";

  std::vector<std::string> shows;  // "modal frmSingle over frmStart", "modeless frmMultiple", "hide frmStart"
  std::vector<MessageBoxRequest> messages;
  std::vector<std::string> opened;  // "help#anchor" or "product"
  bool ended = false;
  std::vector<std::string> unscripted;

  // Loads `page` when it has not been, or was closed since (as a reference to it does).
  void EnsureLoaded(Page page);
  bool Visible(Page page) const { return visible_.count(page) != 0; }
  // The user clicks the close box of `page`; true when it closed.
  bool Close(Page page);

  void ShowModal(Page page, std::optional<Page> owner) override;
  void ShowModeless(Page page) override;
  void Hide(Page page) override;
  void Refresh(Page) override {}
  MessageAnswer ShowMessage(Page owner, const MessageBoxRequest& request) override;
  std::string BrowseForFolder(Page owner, const std::string& title) override;
  void OpenHelp(const std::string& anchor) override { opened.push_back("help" + anchor); }
  void OpenProductPage() override { opened.push_back("product"); }
  std::string DesktopFolder() override { return desktop_folder; }
  void EndProgram() override { ended = true; }

 private:
  template <typename T>
  T Take(std::deque<T>& queue, T none, const std::string& request) {
    if (queue.empty()) {
      unscripted.push_back(request);
      return none;
    }
    T next = std::move(queue.front());
    queue.pop_front();
    return next;
  }

  std::set<Page> loaded_;
  std::set<Page> visible_;
};

// A wizard's page logic over a ScriptedHost, with a temporary folder for real folder trees.
class PagesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& request : host_.unscripted) ADD_FAILURE() << "unscripted " << request;
  }

  StartPage& start() { return Use(Page::kStart).start; }
  SinglePage& single() { return Use(Page::kSingle).single; }
  MultiplePage& multiple() { return Use(Page::kMultiple).multiple; }
  WizardPages& Use(Page page) {
    host_.EnsureLoaded(page);
    return host_.pages;
  }

  ScriptedHost host_;
  TestTree tree_;
};

}  // namespace baleport::testing
