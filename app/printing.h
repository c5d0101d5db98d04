// Printing the window: the client area as an image on one page, at the size it has on
// a 96-DPI screen.
#pragma once

#include <QPaintDevice>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <stdexcept>

class QPrinter;

// A print that could not start or could not be finished; the text is for the user.
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Shows the print dialog for the given printer, which keeps the user's choices from one
// print to the next; only when the user confirms it, prints the window. Returns true
// when a page was printed, false when the dialog was cancelled; throws PrintError when
// the printer or the print file cannot take the page.
bool PrintWindow(QWidget* window, QPrinter& printer);

// Draws the window's client area at the device's top-left corner, each direction scaled
// by the device's resolution / 96. The window's size counts in screen pixels, so that a
// screen with a scale factor prints the window as large as the pixels it covers. False
// when the device cannot be painted on.
bool RenderWindowOnPage(QWidget* window, QPaintDevice& page);

// For tests: stands in for the print dialog. It gets the printer (to point it to a PDF
// file, say) and returns whether the dialog counts as confirmed.
using PrintDialogStandIn = std::function<bool(QPrinter&)>;
void SetPrintDialogStandIn(PrintDialogStandIn standIn);
