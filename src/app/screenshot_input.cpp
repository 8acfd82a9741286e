#include "app/screenshot_input.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace zeta::app::screenshots {

namespace {

QString plain(QString text) {
    text.remove('&');
    for (const QString& tail : {QString("..."), QString("…")}) {
        if (text.endsWith(tail)) text.chop(tail.size());
    }
    return text.trimmed();
}

void activate(QWidget* widget) {
    QWidget* window = widget->window();
    if (QApplication::activeWindow() == window) return;
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window, 2000);
}

} // namespace

bool waitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void click(QAbstractButton* button) {
    activate(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

void typeInto(QWidget* box, const QString& text) {
    QWidget* target = box;
    if (auto* combo = qobject_cast<QComboBox*>(box); combo != nullptr && combo->lineEdit() != nullptr)
        target = combo->lineEdit();
    activate(target);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
    target->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_Delete);
    QTest::keyClicks(target, text);
    QTest::keyClick(target, Qt::Key_Tab);
}

bool pick(QComboBox* popup, const QString& entry) {
    const int index = popup->findText(entry);
    if (index < 0 || !popup->isEnabled()) return false;
    activate(popup);
    popup->showPopup();
    QAbstractItemView* list = popup->view();
    if (!waitFor([list] { return list->isVisible(); }, 5000)) return false;
    // The popup ignores a release that comes as fast as the opening click.
    waitFor([] { return false; }, QApplication::doubleClickInterval() + 50);
    const QModelIndex item = popup->model()->index(index, popup->modelColumn(), popup->rootModelIndex());
    list->scrollTo(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    return waitFor([list] { return !list->isVisible(); }, 5000);
}

bool chooseMenu(QMainWindow& window, const QString& menu, const QString& item) {
    for (QAction* top : window.menuBar()->actions()) {
        if (plain(top->text()) != menu || top->menu() == nullptr) continue;
        for (QAction* action : top->menu()->actions()) {
            if (plain(action->text()) != item || !action->isEnabled()) continue;
            action->trigger();
            return true;
        }
    }
    return false;
}

void answerFolderPanel(const QString& folder) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QElapsedTimer age;
    age.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, age, folder] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* name = dialog != nullptr ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (name == nullptr && age.elapsed() < 30000) return;
        poll->stop();
        poll->deleteLater();
        if (name == nullptr) return;
        activate(name);
        name->setFocus(Qt::MouseFocusReason);
        // Pasted, as a path is: typed key by key, the panel follows each folder on the way and
        // its completion can end on another (once the root folder, which took the frames).
        QGuiApplication::clipboard()->setText(folder);
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QPointer<QDialog> open(dialog);
        QTest::keyClick(name, Qt::Key_Return);
        if (open && open->isVisible()) QTest::keyClick(name, Qt::Key_Return);
    });
    poll->start();
}

IndiCcdServer::IndiCcdServer() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return;
    const int port = probe.serverPort();
    probe.close();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    const QString socket = QDir::temp().filePath(QString("zeta-screenshots-indi-%1").arg(port));
    process_->start("indiserver", {"-p", QString::number(port), "-u", socket, "indi_simulator_ccd"});
    if (!process_->waitForStarted(5000)) return;
    const bool listening = waitFor(
        [port] {
            QTcpSocket probeClient;
            probeClient.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            return probeClient.waitForConnected(200);
        },
        10000);
    if (listening) port_ = port;
}

IndiCcdServer::~IndiCcdServer() {
    if (process_ == nullptr) return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
}

} // namespace zeta::app::screenshots
