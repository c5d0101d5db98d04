// How assistive technology (a screen reader, a test robot) sees the main window: the
// window as a window with its caption, the status bar as a status bar whose two panels
// are text children in panel order, each with its own position and current text.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>

class QAccessibleEvent;
class StatusBar;

// Installs the interfaces of the window and the status bar; once per program.
void InstallWindowAccessibility();

// What the status bar's colour means, for those who cannot see it: "Erfolg", "Fehler",
// or nothing for the neutral colour.
QString StatusColorMeaning(uint32_t color);

// Tells assistive technology that a panel's text or the bar's colour has changed.
// Nothing is built or sent while no assistive technology listens.
void AnnouncePanelText(StatusBar* bar, int panel);
void AnnounceStatusColor(StatusBar* bar);

// For tests, where no assistive technology listens: sees every event the two functions
// above send, before it goes to the toolkit.
using AnnouncementObserver = std::function<void(QAccessibleEvent&)>;
void SetAnnouncementObserver(AnnouncementObserver observer);
