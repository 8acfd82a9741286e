#include "app/message_log_window.h"

#include "app/save_alert.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace zeta::app {
namespace {

// Rows cannot be selected, so the current row gets no focus frame either: the style draws
// one like a selection. Every row is as wide as the widest line shown so far, so that the
// view scrolls sideways to a long line's end instead of cutting it; rows keep one height,
// which keeps a full log quick to lay out.
class PlainRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        const int width = QStyledItemDelegate::sizeHint(option, index).width();
        if (width > widest_) {
            widest_ = width;
            // Lays the rows out again at the new width.
            emit const_cast<PlainRowDelegate*>(this)->sizeHintChanged(index);
        }
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        widest_ = std::max(widest_, size.width());
        return {widest_, size.height()};
    }
    // After a clear the next lines set the width afresh.
    void forgetWidth() { widest_ = 0; }

private:
    mutable int widest_ = 0;
};

} // namespace

MessageLogModel::MessageLogModel(MessagesController& controller, QObject* parent)
    : QAbstractListModel(parent), controller_(controller) {}

int MessageLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

QVariant MessageLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    // Invalid UTF-8 shows as replacement characters.
    return QString::fromUtf8(controller_.lineAtRow(static_cast<std::size_t>(index.row())));
}

Qt::ItemFlags MessageLogModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void MessageLogModel::reset(std::size_t count) {
    beginResetModel();
    count_ = static_cast<int>(count);
    endResetModel();
}

MessageLogWindow::MessageLogWindow(MessagesController& controller, QWidget* parent)
    : QWidget(parent, Qt::Window), controller_(controller), model_(new MessageLogModel(controller, this)),
      view_(new QListView(this)) {
    setWindowTitle(tr("Message Log"));
    setObjectName("messageLogWindow");
    view_->setObjectName("messagesTableView");
    view_->setModel(model_);
    view_->setSelectionMode(QAbstractItemView::NoSelection);
    delegate_ = new PlainRowDelegate(view_);
    view_->setItemDelegate(delegate_);
    view_->setUniformItemSizes(true);
    // Each line whole: a long one scrolls sideways instead of ending in an ellipsis.
    view_->setTextElideMode(Qt::ElideNone);
    view_->setWordWrap(false);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setFont(QFont("monospace"));

    auto* clear = new QPushButton(tr("Clear"), this);
    clear->setObjectName("clearLogButton");
    auto* save = new QPushButton(tr("Save..."), this);
    save->setObjectName("saveLogButton");
    connect(clear, &QPushButton::clicked, this, &MessageLogWindow::clearLog);
    connect(save, &QPushButton::clicked, this, &MessageLogWindow::saveLog);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(clear);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    resize(720, 420);

    binding_.bind(this);
    reloadMessages(controller_.numberOfRows());
}

void MessageLogWindow::reloadMessages(std::size_t count) {
    if (count == 0) static_cast<PlainRowDelegate*>(delegate_)->forgetWidth();
    model_->reset(count);
    if (count > 0) view_->scrollTo(model_->index(static_cast<int>(count) - 1), QAbstractItemView::PositionAtBottom);
}

void MessageLogWindow::clearLog() {
    controller_.clearLog();
}

void MessageLogWindow::saveLog() {
    auto* dialog = new QFileDialog(this, tr("Save Log"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(tr("Text files (*.txt)"));
    dialog->setDefaultSuffix("txt");
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, &MessageLogWindow::saveLogTo);
    dialog->open();
}

void MessageLogWindow::saveLogTo(const QString& path) {
    if (path.isEmpty()) return;
    if (controller_.saveLog(path.toStdString())) return;
    showSaveFailed(*this, tr("Can't save the log"), tr("The log could not be written to %1.").arg(path),
                   "saveLogAlert");
}

} // namespace zeta::app
