#include "journey_user.h"

#include "app/message_log_window.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QWindow>
#include <algorithm>
#include <qpa/qwindowsysteminterface.h> // what the window system reports: focus moved, a close asked for

namespace journey {

namespace {

// What a user reads: no mnemonic marks, no trailing colon or ellipsis, no outer spaces.
QString plain(QString text) {
    text.replace("&&", "\x01").remove('&').replace("\x01", "&");
    text = text.trimmed();
    for (const QString& tail : {QString(":"), QString("…"), QString("...")}) {
        if (text.endsWith(tail)) text.chop(tail.size());
    }
    return text.trimmed();
}

bool same(const QString& shown, const std::string& wanted) {
    return !shown.isEmpty() && plain(shown) == plain(QString::fromStdString(wanted));
}

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

// The first visible widget of a layout item, looking into nested layouts.
QWidget* firstWidget(QLayoutItem* item) {
    if (item == nullptr) return nullptr;
    if (QWidget* widget = item->widget()) return widget->isVisible() ? widget : nullptr;
    if (QLayout* layout = item->layout()) {
        for (int i = 0; i < layout->count(); ++i) {
            if (QWidget* widget = firstWidget(layout->itemAt(i))) return widget;
        }
    }
    return nullptr;
}

// The box a label stands beside in one layout (or a layout nested in it).
QWidget* besideIn(QLayout* layout, QWidget* label) {
    if (layout == nullptr) return nullptr;
    if (auto* form = qobject_cast<QFormLayout*>(layout)) {
        int row = -1;
        QFormLayout::ItemRole role{};
        form->getWidgetPosition(label, &row, &role);
        if (row >= 0 && role == QFormLayout::LabelRole) return firstWidget(form->itemAt(row, QFormLayout::FieldRole));
    }
    const int at = layout->indexOf(label);
    if (at >= 0) {
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(at, &row, &column, &rows, &columns);
            return firstWidget(grid->itemAtPosition(row, column + columns));
        }
        return firstWidget(layout->itemAt(at + 1));
    }
    for (int i = 0; i < layout->count(); ++i) {
        if (QWidget* found = besideIn(layout->itemAt(i)->layout(), label)) return found;
    }
    return nullptr;
}

QWidget* besideLabel(QLabel* label) {
    if (QWidget* buddy = label->buddy(); buddy != nullptr && buddy->isVisible()) return buddy;
    for (QWidget* parent = label->parentWidget(); parent != nullptr; parent = parent->parentWidget()) {
        if (QWidget* found = besideIn(parent->layout(), label)) return found;
    }
    return nullptr;
}

template <class Widget>
std::vector<Widget*> visibleIn(const std::vector<QWidget*>& roots) {
    std::vector<Widget*> found;
    for (QWidget* root : roots) {
        if (auto* self = qobject_cast<Widget*>(root); self != nullptr && self->isVisible()) found.push_back(self);
        for (Widget* child : root->findChildren<Widget*>()) {
            if (child->isVisible()) found.push_back(child);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::vector<QWidget*> boxesFor(const std::vector<QWidget*>& roots, const std::string& label) {
    std::vector<QWidget*> boxes;
    for (QLabel* shown : visibleIn<QLabel>(roots)) {
        if (!same(shown->text(), label)) continue;
        if (QWidget* box = besideLabel(shown)) boxes.push_back(box);
    }
    for (QWidget* widget : visibleIn<QWidget>(roots)) {
        if (same(widget->accessibleName(), label)) boxes.push_back(widget);
    }
    std::sort(boxes.begin(), boxes.end());
    boxes.erase(std::unique(boxes.begin(), boxes.end()), boxes.end());
    return boxes;
}

std::vector<QAbstractButton*> buttonsFor(const std::vector<QWidget*>& roots, const std::string& title) {
    std::vector<QAbstractButton*> buttons;
    for (QAbstractButton* button : visibleIn<QAbstractButton>(roots)) {
        if (same(button->text(), title) || same(button->accessibleName(), title)) buttons.push_back(button);
    }
    return buttons;
}

QMainWindow* mainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<QMainWindow*>(widget)) return window;
    }
    throw JourneyError("the application shows no main window");
}

void activate(QWidget* widget) {
    QWidget* window = widget->window();
    if (QApplication::activeWindow() == window) return;
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window, 2000);
}

} // namespace

std::vector<QWidget*> JourneyUser::roots() const {
    if (scope_ != nullptr) return {scope_};
    std::vector<QWidget*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) shown.push_back(widget);
    }
    return shown;
}

JourneyUser JourneyUser::within(const std::string& title) const {
    std::vector<QWidget*> found;
    for (QWidget* widget : visibleIn<QWidget>(roots())) {
        const bool titled = widget->isWindow() || qobject_cast<QDockWidget*>(widget) != nullptr;
        if (titled && same(widget->windowTitle(), title)) found.push_back(widget);
        if (auto* group = qobject_cast<QGroupBox*>(widget); group != nullptr && same(group->title(), title))
            found.push_back(widget);
    }
    if (found.size() != 1)
        throw JourneyError((found.empty() ? "no window, dock or group titled " : "more than one place titled ") +
                           inQuotes(title));
    return JourneyUser(found.front());
}

QWidget* JourneyUser::box(const std::string& label) const {
    const std::vector<QWidget*> boxes = boxesFor(roots(), label);
    if (boxes.empty()) throw JourneyError("no visible box labelled " + inQuotes(label));
    if (boxes.size() > 1) throw JourneyError("more than one box labelled " + inQuotes(label));
    return boxes.front();
}

QAbstractButton* JourneyUser::button(const std::string& title) const {
    const std::vector<QAbstractButton*> buttons = buttonsFor(roots(), title);
    if (buttons.empty()) throw JourneyError("no visible button " + inQuotes(title));
    if (buttons.size() > 1) throw JourneyError("more than one button " + inQuotes(title));
    return buttons.front();
}

bool JourneyUser::sees(const std::string& labelOrTitle) const {
    return !boxesFor(roots(), labelOrTitle).empty() || !buttonsFor(roots(), labelOrTitle).empty();
}

void JourneyUser::click(const std::string& title) const {
    click(button(title));
}

void JourneyUser::click(QWidget* widget) {
    if (!widget->isVisible()) throw JourneyError("cannot click a hidden " + widget->objectName().toStdString());
    if (!widget->isEnabled())
        throw JourneyError("cannot click the disabled " +
                           inQuotes(textOf(widget).empty() ? widget->objectName().toStdString() : textOf(widget)));
    activate(widget);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void JourneyUser::type(const std::string& label, const std::string& text, Then then) const {
    typeInto(box(label), text, then);
}

void JourneyUser::typeInto(QWidget* box, const std::string& text, Then then) {
    QWidget* target = box;
    if (auto* combo = qobject_cast<QComboBox*>(box)) {
        if (combo->lineEdit() == nullptr) throw JourneyError("cannot type into a popup without a text field");
        target = combo->lineEdit();
    }
    click(target);
    // A click gives the box the keyboard; keys go where the application sends them.
    QWidget* keys = QApplication::focusWidget();
    // A spin box takes its keys itself (it commits its text when it loses the focus).
    if (qobject_cast<QAbstractSpinBox*>(box) != nullptr) keys = nullptr;
    if (keys == nullptr || (keys != box && !box->isAncestorOf(keys))) {
        target->setFocus(Qt::MouseFocusReason);
        keys = target;
    }
    QTest::keyClick(keys, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(keys, Qt::Key_Delete);
    QTest::keyClicks(keys, QString::fromStdString(text));
    // A spin box takes what was typed on Enter.
    if (qobject_cast<QAbstractSpinBox*>(box) != nullptr || then == Then::Enter) QTest::keyClick(keys, Qt::Key_Return);
    if (then == Then::Tab) QTest::keyClick(keys, Qt::Key_Tab);
    QCoreApplication::processEvents();
}

void JourneyUser::pick(const std::string& label, const std::string& entry) const {
    auto* combo = qobject_cast<QComboBox*>(box(label));
    if (combo == nullptr) throw JourneyError("the box labelled " + inQuotes(label) + " is no popup");
    pickIn(combo, entry);
}

void JourneyUser::pickIn(QComboBox* combo, const std::string& entry) {
    const int index = combo->findText(QString::fromStdString(entry), Qt::MatchExactly);
    if (index < 0) throw JourneyError("the popup has no entry " + inQuotes(entry));
    if (!combo->isEnabled()) throw JourneyError("the popup with " + inQuotes(entry) + " is disabled");
    activate(combo);
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    waitUntil([list] { return list->isVisible(); }, "the popup to open", std::chrono::seconds(5));
    // The popup ignores a release that comes as fast as the opening click.
    idle(std::chrono::milliseconds(QApplication::doubleClickInterval() + 50));
    const QModelIndex item = combo->model()->index(index, combo->modelColumn(), combo->rootModelIndex());
    list->scrollTo(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    waitUntil([list] { return !list->isVisible(); }, "the popup to close", std::chrono::seconds(5));
}

void JourneyUser::menu(const std::vector<std::string>& path) {
    if (path.empty()) throw JourneyError("an empty menu path");
    QList<QAction*> actions = mainWindow()->menuBar()->actions();
    std::string walked;
    for (std::size_t step = 0; step < path.size(); ++step) {
        walked += (walked.empty() ? "" : " > ") + path[step];
        auto found = std::find_if(actions.begin(), actions.end(), [&](QAction* action) {
            return action->isVisible() && same(action->text(), path[step]);
        });
        if (found == actions.end()) throw JourneyError("no menu item " + inQuotes(walked));
        QAction* action = *found;
        if (!action->isEnabled()) throw JourneyError("the menu item " + inQuotes(walked) + " is disabled");
        if (step + 1 == path.size()) {
            action->trigger();
            QCoreApplication::processEvents();
            return;
        }
        if (action->menu() == nullptr) throw JourneyError(inQuotes(walked) + " is no menu");
        actions = action->menu()->actions();
    }
}

void JourneyUser::clickRow(const std::string& text) const {
    std::vector<std::pair<QAbstractItemView*, QModelIndex>> found;
    for (QAbstractItemView* view : visibleIn<QAbstractItemView>(roots())) {
        const QAbstractItemModel* model = view->model();
        if (model == nullptr) continue;
        auto* tree = qobject_cast<QTreeView*>(view);
        std::vector<QModelIndex> parents{view->rootIndex()};
        while (!parents.empty()) {
            const QModelIndex parent = parents.back();
            parents.pop_back();
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex index = model->index(row, 0, parent);
                if (tree != nullptr && tree->isRowHidden(row, parent)) continue;
                if (same(index.data().toString(), text)) found.emplace_back(view, index);
                if (tree != nullptr && tree->isExpanded(index)) parents.push_back(index);
            }
        }
    }
    if (found.empty()) throw JourneyError("no row " + inQuotes(text) + " in view");
    if (found.size() > 1) throw JourneyError("more than one row " + inQuotes(text));
    auto [view, index] = found.front();
    activate(view);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    QCoreApplication::processEvents();
}

void JourneyUser::switchToAnotherApplication() {
    // What the window system reports when the focus goes to another application's window: no
    // window of this one is active. Where the platform reports no application state of its own
    // (X11, and the offscreen platform journeys run on), Qt derives the state from that.
    QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
        nullptr, Qt::ActiveWindowFocusReason);
    waitUntil([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; },
              "the application to be inactive", std::chrono::seconds(5));
}

void JourneyUser::switchBackTo(QWidget* window) {
    if (window->windowHandle() == nullptr || !window->isVisible())
        throw JourneyError("cannot click into a hidden window");
    QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
        window->windowHandle(), Qt::ActiveWindowFocusReason);
    waitUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; },
              "the application to be active", std::chrono::seconds(5));
}

void JourneyUser::closeWithTitleBar(QWidget* window) {
    if (!window->isVisible()) throw JourneyError("cannot close a hidden window");
    (void)QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(window->windowHandle());
    QCoreApplication::processEvents();
}

std::string JourneyUser::text(const std::string& label) const {
    return textOf(box(label));
}

std::string JourneyUser::textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
    if (auto* field = qobject_cast<QLineEdit*>(widget)) return field->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText().toStdString();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) return spin->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
    return widget->accessibleName().toStdString();
}

std::vector<std::string> JourneyUser::entries(const std::string& label) const {
    auto* combo = qobject_cast<QComboBox*>(box(label));
    if (combo == nullptr) throw JourneyError("the box labelled " + inQuotes(label) + " is no popup");
    std::vector<std::string> all;
    for (int i = 0; i < combo->count(); ++i)
        all.push_back(combo->itemText(i).toStdString());
    return all;
}

bool JourneyUser::enabled(const std::string& label) const {
    return box(label)->isEnabled();
}

void JourneyUser::answerNextDialog(std::function<void(QDialog&)> answer) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline, answer = std::move(answer)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            answer(*dialog);
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

std::string JourneyUser::answerAlert(const std::string& message, const std::string& button) {
    QMessageBox* alert = nullptr;
    waitUntil(
        [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box != nullptr && box->isVisible() && same(box->text(), message)) alert = box;
            }
            return alert != nullptr;
        },
        "an alert saying " + inQuotes(message));
    const std::string further = alert->informativeText().toStdString();
    // The alert deletes itself once closed.
    const QPointer<QMessageBox> closing(alert);
    JourneyUser(alert).click(button);
    waitUntil([&] { return closing == nullptr || !closing->isVisible(); }, "the alert to close");
    return further;
}

void JourneyUser::chooseFolderInNextDialog(const std::string& folder) {
    answerNextDialog([folder](QDialog& dialog) {
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        if (name == nullptr) {
            dialog.reject();
            return;
        }
        activate(name);
        name->setFocus(Qt::MouseFocusReason);
        // Pasted, as a path is: typed key by key, the panel would follow each folder on the way.
        QGuiApplication::clipboard()->setText(QString::fromStdString(folder));
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QPointer<QDialog> open(&dialog);
        QTest::keyClick(name, Qt::Key_Return);
        // The name field's completion may take the first Return.
        if (open && open->isVisible()) QTest::keyClick(name, Qt::Key_Return);
    });
}

std::vector<std::string> JourneyUser::logLines() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* log = dynamic_cast<zeta::app::MessageLogWindow*>(widget);
        if (log == nullptr) continue;
        const QAbstractItemModel* model = log->tableView()->model();
        std::vector<std::string> lines;
        for (int row = 0; row < model->rowCount(); ++row)
            lines.push_back(model->data(model->index(row, 0)).toString().toStdString());
        return lines;
    }
    throw JourneyError("the application has no message log");
}

bool JourneyUser::logged(const std::string& text) {
    return loggedTimes(text) > 0;
}

std::size_t JourneyUser::loggedTimes(const std::string& text) {
    const std::vector<std::string> lines = logLines();
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

void JourneyUser::waitUntil(const std::function<bool()>& condition, const std::string& what,
                            std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) throw JourneyError("waited in vain for " + what);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

void JourneyUser::idle(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

} // namespace journey
