// The web addresses the wizard's pages open; fixed when the program is built. The
// conversion run holds the third, the downgrade guide of the "Outlook Error" box.
#pragma once

#include <QString>

namespace baleport::app {

// The help page, to which the pages append a section anchor such as "#single-folder".
// By default the page shipped with the program.
QString HelpPageAddress();
QString ProductPageAddress();

}  // namespace baleport::app
