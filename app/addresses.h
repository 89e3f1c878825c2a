// The three web addresses the pages open; fixed when the program is built.
#pragma once

#include <QString>

namespace baleport::app {

// The help page, to which the pages append a section anchor such as "#single-folder".
// By default the page shipped with the program.
QString HelpPageAddress();
QString ProductPageAddress();
// The guide to installing a 32-bit Outlook.
QString DowngradeGuideAddress();

}  // namespace baleport::app
