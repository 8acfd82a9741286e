#include "batch/batch_widget.h"

#include "batch/batch_controller.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

BatchWidget::BatchWidget(BatchController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setWindowTitle(tr("Capture Batches"));
    table_ = new QTableWidget(0, 1, this);
    table_->setHorizontalHeaderLabels({tr("File")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->setVisible(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    previousButton_ = new QPushButton(tr("Previous"), this);
    showInFinderButton_ = new QPushButton(tr("Show in Files"), this);
    nextButton_ = new QPushButton(tr("Next"), this);
    loadButton_ = new QPushButton(tr("Load…"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(loadButton_);
    buttons->addStretch();
    buttons->addWidget(previousButton_);
    buttons->addWidget(showInFinderButton_);
    buttons->addWidget(nextButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);

    connect(previousButton_, &QPushButton::clicked, this, [this] { controller_.previousAction(); });
    connect(nextButton_, &QPushButton::clicked, this, [this] { controller_.nextAction(); });
    connect(showInFinderButton_, &QPushButton::clicked, this, [this] { controller_.showInFinderAction(); });
    connect(loadButton_, &QPushButton::clicked, this, [this] { controller_.loadAction(); });
    connect(table_, &QTableWidget::cellClicked, this, [this](int, int) { controller_.tableLoadAction(selectedRow()); });
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this](int, int) { controller_.tableShowInFinderAction(selectedRow()); });

    controller_.setView(this);
    controller_.updateGUI();
}

BatchWidget::~BatchWidget() {
    controller_.setView(nullptr);
}

std::optional<std::int64_t> BatchWidget::selectedRow() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return rows.first().row();
}

void BatchWidget::setPreviousButtonEnabled(bool enabled) {
    previousButton_->setEnabled(enabled);
}

void BatchWidget::setShowInFinderButtonEnabled(bool enabled) {
    showInFinderButton_->setEnabled(enabled);
}

void BatchWidget::setNextButtonEnabled(bool enabled) {
    nextButton_->setEnabled(enabled);
}

void BatchWidget::reloadTable(std::int64_t selectedRow) {
    const auto rows = static_cast<int>(controller_.numberOfRows());
    table_->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const QString name = QString::fromStdString(controller_.objectValue(static_cast<std::size_t>(row)));
        if (auto* item = table_->item(row, 0))
            item->setText(name);
        else
            table_->setItem(row, 0, new QTableWidgetItem(name));
    }
    table_->clearSelection();
    if (selectedRow >= 0 && selectedRow < rows) {
        table_->selectRow(static_cast<int>(selectedRow));
        table_->scrollToItem(table_->item(static_cast<int>(selectedRow), 0));
    }
}

std::optional<std::string> BatchWidget::chooseFile(const std::string& prompt,
                                                   const std::optional<std::string>& startFolder) {
    if (chooser_) return chooser_(prompt, startFolder);
    const QString chosen = QFileDialog::getOpenFileName(window(), QString::fromStdString(prompt),
                                                        startFolder ? QString::fromStdString(*startFolder) : QString());
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

void BatchWidget::revealFile(const std::string& path, const std::string& rootFolder) {
    const QFileInfo file(QString::fromStdString(path));
    QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir()) folder = QString::fromStdString(rootFolder);
    const auto openFolder = [folder] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    // The desktop's file viewer shows the file selected; without one its folder is opened.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(file.absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [openFolder](QDBusPendingCallWatcher* done) {
        if (done->isError()) openFolder();
        done->deleteLater();
    });
}
