#pragma once
// The sheet a window shows when what the user asked to save could not be written.

class QString;
class QWidget;

namespace zeta::app {

// A window-modal warning on the window, deleted when closed; objectName lets tests find it.
void showSaveFailed(QWidget& window, const QString& title, const QString& text, const char* objectName);

} // namespace zeta::app
