// Printing the window: the client area as an image on one page, at the size it has on
// a 96-DPI screen.
#pragma once

#include <QPaintDevice>
#include <QPixmap>
#include <QWidget>
#include <functional>

class QPrinter;

// Shows the print dialog; only when the user confirms it, prints the window.
// Returns true when a page was printed.
bool PrintWindow(QWidget* window);

// Draws the window's client area at the device's top-left corner, each direction scaled
// by the device's resolution / 96.
void RenderWindowOnPage(QWidget* window, QPaintDevice& page);

// For tests: stands in for the print dialog. It gets the printer (to point it to a PDF
// file, say) and returns whether the dialog counts as confirmed.
using PrintDialogStandIn = std::function<bool(QPrinter&)>;
void SetPrintDialogStandIn(PrintDialogStandIn standIn);
