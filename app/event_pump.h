// Makes ProcessPendingEvents deliver Qt's pending events, so that long loops let the
// pages repaint and take clicks on Skip and Stop.
#pragma once

namespace baleport::app {

void InstallEventPump();

}  // namespace baleport::app
