// The pages' 16 x 16 images, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace baleport::app {

QIcon EnvelopeIcon();        // the application's icon
QIcon DriveArrowIcon();      // the selection pages' window icon
QPixmap FolderImage();       // a yellow folder
QPixmap InformationImage();  // a green information mark
QPixmap PersonImage();       // a person, the folder rows' icon

}  // namespace baleport::app
