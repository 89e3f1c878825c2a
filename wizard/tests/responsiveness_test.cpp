// Under a real X server (xvfb-run: see CMakeLists.txt), the wizard stays responsive during a
// long run: a click on Stop, sent through the server while 20,000 messages convert, is answered
// while the run is still going. The delay is recorded, not judged: on a loaded machine it says
// nothing of the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <optional>

#include "app/event_pump.h"
#include "app/testing/scripted_desktop.h"
#include "app/testing/test_application.h"
#include "conversion/store/pst_store_library.h"
#include "msg/testing/msg_writer.h"
#include "support/pending_events.h"
#include "wizard/frm_migate_all.h"
#include "wizard/frm_single.h"
#include "wizard/frm_start.h"
#include "wizard/wizard.h"

namespace baleport::testing {
namespace {

using Clock = std::chrono::steady_clock;
using app::testing::InsideNextModal;

constexpr int kMessages = 20000;

// Notes when the "Confirm Stop" box is asked for, and says Yes to it.
class StopWatchDesktop : public app::testing::ScriptedDesktop {
 public:
  std::optional<Clock::time_point> asked;
  std::function<int()> progress;
  int progress_when_asked = -1;
  app::MessageAnswer ShowMessage(QWidget* owner, const app::MessageRequest& request) override {
    if (request.title == "Confirm Stop" && !asked) {
      asked = Clock::now();
      progress_when_asked = progress();
      answers.push_front(app::MessageAnswer::kYes);
    }
    return ScriptedDesktop::ShowMessage(owner, request);
  }
};

TEST(ResponsivenessTest, StopIsAnsweredWhileALongRunGoesOn) {
  app::testing::EnsureApplication();

  QTemporaryDir work;
  const QString source = work.filePath("Mail");
  ASSERT_TRUE(QDir().mkpath(source));
  msg::testing::FixtureFile message;
  message.message.Unicode(0x001A, "IPM.Note").Unicode(0x0037, "Quarterly figures")
      .Unicode(0x1000, "The figures for the quarter are attached in the usual place.");
  Result<std::vector<uint8_t>> bytes = msg::testing::WriteMsgToMemory(message);
  ASSERT_TRUE(bytes.ok()) << bytes.status().message();
  for (int i = 0; i < kMessages; ++i) {
    QFile file(QDir(source).filePath(QString("%1.msg").arg(i, 6, 10, QChar('0'))));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes->data()), qint64(bytes->size()));
  }

  StopWatchDesktop desktop;
  desktop.folder_picks = {source};
  desktop.save_names = {work.filePath("Mail.pst")};
  PstStoreLibrary library;
  Wizard wizard(desktop, library);
  wizard.Run();

  std::optional<Clock::time_point> clicked;
  int progress_at_click = -1;
  InsideNextModal on_single([&] {
    frmSingle& single = wizard.Single();
    single.CmdAddFolder->click();
    InsideNextModal on_conversion([&] {
      frmMigateAll& page = wizard.MigateAll();
      QPushButton* stop = page.CmdStopMigration;
      desktop.progress = [&page] { return page.ProgressBar1->value(); };
      // Once the run is well under way, the user clicks Stop: through the X server.
      SetPendingEventsHandler([&] {
        if (!clicked && stop->isVisible() && page.ProgressBar1->value() >= 5) {
          const QPoint at = stop->mapToGlobal(stop->rect().center());
          clicked = Clock::now();
          progress_at_click = page.ProgressBar1->value();
          QProcess::startDetached("xdotool", {"mousemove", QString::number(at.x()),
                                              QString::number(at.y()), "click", "1"});
        }
        QCoreApplication::processEvents();
      });
      page.CmdStartConversion->click();
      app::InstallEventPump();
      page.close();
    });
    single.CmdNext->click();
    single.close();
  });
  wizard.Start().CmdNext->click();

  ASSERT_TRUE(on_single.ran());
  ASSERT_TRUE(clicked) << "the run ended before Stop could be clicked";
  ASSERT_TRUE(desktop.asked) << "the click on Stop was never answered";
  const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(*desktop.asked - *clicked);
  ::testing::Test::RecordProperty("stop_latency_ms", static_cast<int>(latency.count()));
  EXPECT_LT(desktop.progress_when_asked, 100)
      << "clicked at " << progress_at_click << "%, answered after " << latency.count() << " ms";
}

}  // namespace
}  // namespace baleport::testing
