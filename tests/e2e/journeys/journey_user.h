#pragma once
// What a user does with the application's windows: find a control by the text beside it, its
// title or its accessible name, click it, type into it, pick a popup entry, choose a menu
// item, answer a dialog, wait for the window to show something. See journey_app.h for how to
// write a journey. Every step throws JourneyError when a user could not do it.

#include "journey_app.h"

#include <QAbstractButton>
#include <QWidget>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDialog;

namespace journey {

class JourneyUser {
public:
    // Looks through every window the application shows.
    JourneyUser() = default;
    // Looks only inside the given widget (a dock, a dialog, a group box).
    explicit JourneyUser(QWidget* scope) : scope_(scope) {}

    // The user's view narrowed to a dock, window or group box with this title.
    JourneyUser within(const std::string& title) const;

    // The box beside a label with this text (a trailing ':' may be left out), or a control whose
    // accessible name is this text. Only visible controls count; two matches are an error.
    QWidget* box(const std::string& label) const;
    // The button with this title or accessible name ('&' mnemonics and a trailing "…" or
    // "..." may be left out).
    QAbstractButton* button(const std::string& title) const;
    // True when a visible control with this label, title or accessible name is there.
    bool sees(const std::string& labelOrTitle) const;

    // A mouse click on the button (which must be enabled).
    void click(const std::string& title) const;
    static void click(QWidget* widget);
    // How the user leaves a box after typing: Tab to the next control, or Enter in place.
    enum class Then { Tab, Enter };
    // Clicks into the box, selects all, types the text and leaves with Tab (or presses Enter).
    void type(const std::string& label, const std::string& text, Then then = Then::Tab) const;
    static void typeInto(QWidget* box, const std::string& text, Then then = Then::Tab);
    // Opens the popup beside the label and clicks the entry with this text.
    void pick(const std::string& label, const std::string& entry) const;
    static void pickIn(QComboBox* combo, const std::string& entry);
    // The menu item at this path from the menu bar, e.g. {"Window", "Focuser"}.
    static void menu(const std::vector<std::string>& path);
    // Clicks the row of a list or tree in view that shows this text (a tree's rows count only
    // where their parents are expanded, as a user sees them).
    void clickRow(const std::string& text) const;

    // The user switches to another application: the window system tells the application that
    // none of its windows has the focus any more, which on Linux is what makes it inactive.
    static void switchToAnotherApplication();
    // ... and comes back by clicking into this window.
    static void switchBackTo(QWidget* window);
    // The close button in the window's title bar: the window manager asks the window to close.
    static void closeWithTitleBar(QWidget* window);

    // What the box beside the label shows (a label's text, a field's or a popup's current text).
    std::string text(const std::string& label) const;
    static std::string textOf(QWidget* widget);
    // The entries of the popup beside the label.
    std::vector<std::string> entries(const std::string& label) const;
    // Is the box beside the label enabled.
    bool enabled(const std::string& label) const;

    // The next modal dialog that opens is handed to the answer (with the user's view narrowed
    // to it); the answer must close it. Set before the click that opens it.
    static void answerNextDialog(std::function<void(QDialog&)> answer);
    // Waits for an alert with this message, clicks its button with this title and returns the
    // alert's further text.
    static std::string answerAlert(const std::string& message, const std::string& button);
    // Answers the next folder dialog with this folder (typed into its name field, then Enter).
    static void chooseFolderInNextDialog(const std::string& folder);

    // The lines of the message log window, oldest first.
    static std::vector<std::string> logLines();
    // True when a line of the message log contains the text.
    static bool logged(const std::string& text);
    // How many lines of the message log contain the text (the log shows a line a moment after
    // it was written: wait for the count to grow).
    static std::size_t loggedTimes(const std::string& text);

    // Runs the event loop until the condition holds; throws with `what` after the time.
    static void waitUntil(const std::function<bool()>& condition, const std::string& what,
                          std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Runs the event loop for this long (for "nothing happens" checks, never for timing).
    static void idle(std::chrono::milliseconds time);

private:
    std::vector<QWidget*> roots() const;

    QWidget* scope_ = nullptr;
};

} // namespace journey
