// Opening documents through the desktop, and the help page shipped with the program (its
// sections are checked by the page tests).
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QObject>
#include <QUrl>

#include "app/addresses.h"
#include "app/shell_helpers.h"
#include "app/testing/test_application.h"

namespace baleport::app {
namespace {

class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

TEST(ShellHelpersTest, DocumentsGoToTheDesktopAndTheHelpPageIsFound) {
  testing::EnsureApplication();
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "Open");
  QDesktopServices::setUrlHandler("file", &recorder, "Open");
  OpenDocument("");
  OpenDocument("https://example.org/product/#single-folder");
  OpenDocument(HelpPageAddress() + "#select-folder");
  QDesktopServices::unsetUrlHandler("https");
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(recorder.opened.size(), 2);
  EXPECT_EQ(recorder.opened[0].fragment(), "single-folder");
  EXPECT_EQ(recorder.opened[1].fragment(), "select-folder");
  QFile page(recorder.opened[1].toLocalFile());
  EXPECT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
}

}  // namespace
}  // namespace baleport::app

#include "shell_helpers_test.moc"
