#include "app/event_pump.h"

#include <QCoreApplication>

#include "support/pending_events.h"

namespace baleport::app {

void InstallEventPump() {
  SetPendingEventsHandler([] { QCoreApplication::processEvents(); });
}

}  // namespace baleport::app
