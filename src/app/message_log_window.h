#pragma once
// The message log window: every line of the client's log, newest at the bottom, with Clear
// and Save. Rows are read from the controller when shown; nothing can be selected.

#include "Common/view_binding.h"
#include "app/messages_controller.h"

#include <QAbstractListModel>
#include <QWidget>

class QAbstractItemDelegate;
class QListView;
class QPushButton;

namespace zeta::app {

class MessageLogModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit MessageLogModel(MessagesController& controller, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Takes the new line count (the rows are read again).
    void reset(std::size_t count);

private:
    MessagesController& controller_;
    int count_ = 0;
};

class MessageLogWindow final : public QWidget, public MessagesView {
    Q_OBJECT
public:
    explicit MessageLogWindow(MessagesController& controller, QWidget* parent = nullptr);

    void reloadMessages(std::size_t count) override;

    QListView* tableView() const { return view_; }
    // Writes the log to the file; an alert when it cannot be written.
    void saveLogTo(const QString& path);

public slots:
    void clearLog();
    // Asks for a ".txt" file, then saves into it.
    void saveLog();

private:
    MessagesController& controller_;
    zeta::common::ViewBinding<&MessagesController::setView> binding_{controller_};
    MessageLogModel* model_;
    QListView* view_;
    QAbstractItemDelegate* delegate_ = nullptr;
};

} // namespace zeta::app
