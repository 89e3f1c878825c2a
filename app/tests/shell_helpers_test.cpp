// Opening documents through the desktop, and the help page shipped with the program.
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

// The help page opened is the one shipped, holding every section the pages link to.
TEST(ShellHelpersTest, DocumentsGoToTheDesktopAndTheHelpPageHasEverySection) {
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
  EXPECT_TRUE(recorder.opened[1].isLocalFile());
  EXPECT_EQ(recorder.opened[1].fragment(), "select-folder");

  QFile page(recorder.opened[1].toLocalFile());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
  const QString html = QString::fromUtf8(page.readAll());
  for (const char* section : {"single-folder", "multiple-folders", "select-folder",
                              "select-root-folder", "delete-source-files"}) {
    EXPECT_TRUE(html.contains(QString("id=\"%1\"").arg(section))) << section;
  }
}

}  // namespace
}  // namespace baleport::app

#include "shell_helpers_test.moc"
