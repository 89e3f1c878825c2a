// Help links, and the Tahoma line spacing (captions without their access keys: the wizard's
// views test).
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QtTest/QTest>

#include "app/controls.h"
#include "app/fonts.h"
#include "app/testing/test_application.h"

namespace baleport::app {
namespace {

TEST(ControlsTest, AHelpLinkReportsLeftClicksOnly) {
  testing::EnsureApplication();
  QWidget page;
  LinkLabel link(&page, QRect(10, 10, 33, 16), Tahoma(8.25));
  QSignalSpy clicks(&link, &LinkLabel::clicked);
  QTest::mouseClick(&link, Qt::RightButton);
  QTest::mouseClick(&link, Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 1);
}

TEST(ControlsTest, TahomaIsSpacedAsOnWindows) {
  if (!QFileInfo::exists(BALEPORT_TAHOMA_DIR "/tahoma.ttf")) GTEST_SKIP() << "no Tahoma file";
  testing::EnsureApplication();
  const QFont font = Tahoma(9);
  EXPECT_EQ(QFontInfo(font).family(), "Tahoma");
  // 9 pt at 96 dpi is 12 pixels; Windows spaces Tahoma's lines 14 pixels apart there.
  EXPECT_EQ(QFontMetrics(font).lineSpacing(), 14);
}

}  // namespace
}  // namespace baleport::app
