// The application's main window as the engine sees it: start-up registers it,
// the movie window drags, maximises and closes it. Tests register their own.
#pragma once

class QWidget;

// Null when none is registered (or it has been destroyed). Use the window
// itself on the user-interface thread only.
QWidget* GetAppMainWindow();
void SetAppMainWindow(QWidget* pWnd);
// Whether one is registered; safe to ask from any thread.
bool HasAppMainWindow();
