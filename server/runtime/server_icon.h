// The server's icon and the maker's logo, drawn in code so that no image files need shipping.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon serverIcon();
QPixmap serverLogo();
