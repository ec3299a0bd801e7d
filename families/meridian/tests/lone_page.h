#pragma once
// A page tested alone: its own modeless sheet on the GUI thread, offscreen.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <utility>

#include "framework/property_sheet.h"

namespace wf::testing {

template <class Page>
class LonePage {
 protected:
  Page* openAlone(Page* page, const char* title) {
    page_ = page;
    sheet_ = std::make_unique<CPropertySheet>(title);
    sheet_->AddPage(page_);
    EXPECT_TRUE(sheet_->Create());
    QCoreApplication::processEvents();
    return page_;
  }
  // Before the fixture's own tear-down: the page borrows its icon.
  void closeAlone() {
    if (sheet_ && sheet_->GetSafeHwnd()) sheet_->DestroyWindow();
    sheet_.reset();
    delete std::exchange(page_, nullptr);
  }

  std::unique_ptr<CPropertySheet> sheet_;
  Page* page_ = nullptr;
};

}  // namespace wf::testing
