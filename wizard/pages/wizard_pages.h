// The logic of the three selection pages, and the selection they give the conversion page,
// read from their state as the pages show it.
#pragma once

#include <string>

#include "conversion/wizard_selection.h"
#include "wizard/pages/multiple_page.h"
#include "wizard/pages/single_page.h"
#include "wizard/pages/start_page.h"

namespace baleport {

class WizardPages : public WizardSelection {
 public:
  explicit WizardPages(PageHost& host) : start(host), single(host), multiple(host) {}

  StartPage start;
  SinglePage single;
  MultiplePage multiple;

  bool SingleMode() override { return start.singleMode(); }
  std::string SourceMailbox() override { return single.sourceMailbox(); }
  int RowCount() override { return static_cast<int>(multiple.rows().size()); }
  FolderRow Row(int position) override {
    if (position < 1 || position > RowCount()) return {};
    const ListRow& row = multiple.rows()[position - 1];
    return {row.checked, row.user, row.folder};
  }
  void MarkRowTaken(int position) override { multiple.MarkRowTaken(position); }
  std::string OutputFolder() override { return multiple.outputFolder(); }
  bool SkipExisting() override { return skipExisting; }

  // The conversion page's "Skip messages already in the store", as its view last showed it.
  bool skipExisting = false;
};

}  // namespace baleport
