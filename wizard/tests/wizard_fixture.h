// A wizard on Qt's offscreen platform whose dialogs are answered by a script, converting
// into the in-memory store or, with PstStoreLibrary, the real one.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

#include "app/testing/scripted_desktop.h"
#include "app/testing/test_application.h"
#include "conversion/testing/fake_store.h"
#include "wizard/wizard.h"

namespace baleport::testing {

template <typename Library = FakeStoreLibrary>
class WizardTestOver : public ::testing::Test {
 protected:
  void SetUp() override {
    app::testing::EnsureApplication();
    wizard_ = std::make_unique<Wizard>(desktop_, library_);
  }

  void TearDown() override {
    EXPECT_TRUE(desktop_.unscripted.isEmpty()) << desktop_.unscripted.join(u'\n').toStdString();
    wizard_.reset();
  }

  // A folder under the test's temporary folder, created with its parents.
  QString MakeFolder(const QString& relative) {
    const QString path = root_.filePath(relative);
    EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
    return QDir::toNativeSeparators(path);
  }

  app::testing::ScriptedDesktop desktop_;
  Library library_;
  std::unique_ptr<Wizard> wizard_;
  QTemporaryDir root_;
};

using WizardTest = WizardTestOver<>;

}  // namespace baleport::testing
