// The wizard on Win32: the pages' windows, each created on first use and kept to the end of
// the program, as the PageHost of the page logic; the common dialogs, message boxes and the
// shell for the rest.
#pragma once

#include <functional>
#include <memory>

#include "app/win32/page_window.h"
#include "wizard/pages/wizard_pages.h"
#include "wizard/win32/selection_views.h"

namespace baleport::win32 {

class Win32Wizard : public PageHost {
 public:
  // The conversion page's window, made on first use over the wizard's selection.
  using ConversionPageMaker = std::function<std::unique_ptr<app::win32::PageWindow>(Win32Wizard&)>;

  explicit Win32Wizard(ConversionPageMaker make_conversion_page);
  ~Win32Wizard() override;

  // Program start: the start page, shown modeless, is the main window.
  void Run() { ShowModeless(Page::kStart); }

  WizardPages& pages() { return pages_; }
  // The page's window, created (and loaded) on first use.
  app::win32::PageWindow& Window(Page page);

  void ShowModal(Page page, std::optional<Page> owner) override;
  void ShowModeless(Page page) override;
  void Hide(Page page) override;
  void Refresh(Page page) override;
  MessageAnswer ShowMessage(Page owner, const MessageBoxRequest& request) override;
  std::string BrowseForFolder(Page owner, const std::string& title) override;
  void OpenHelp(const std::string& anchor) override;
  void OpenProductPage() override;
  std::string DesktopFolder() override;
  void EndProgram() override;

  // The box as Windows shows it over `owner` (none: the active window).
  MessageAnswer ShowMessageOn(HWND owner, const MessageBoxRequest& request);
  // The common save dialog over `owner`: the chosen path, or nullopt when cancelled.
  std::optional<std::string> AskSaveFileName(HWND owner, const SaveDialogRequest& request);
  // Hands a document or address to the shell; failures go unnoticed.
  void OpenAddress(const std::string& target);

 private:
  WizardPages pages_{*this};
  ConversionPageMaker make_conversion_page_;
  std::unique_ptr<StartView> start_;
  std::unique_ptr<SingleView> single_;
  std::unique_ptr<MultipleView> multiple_;
  std::unique_ptr<app::win32::PageWindow> migate_all_;
};

// The help page shipped beside the program (help.html), at `anchor`.
std::string HelpPageAddress(const std::string& anchor);

}  // namespace baleport::win32
