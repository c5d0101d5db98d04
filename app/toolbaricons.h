// The five icons of the window's tool bar, 16 x 16 pixels, painted by hand so that the
// program needs no image files.
#pragma once

#include <QIcon>

QIcon PrinterIcon();
QIcon DiskIcon();
QIcon PortIcon();
QIcon InfoIcon();
QIcon ExitIcon();
