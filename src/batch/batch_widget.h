#pragma once
// The capture-batch browser: the table of the files the run saved, previous, reveal and next
// buttons and a load button. Shows what BatchController says and forwards the user's
// actions to it. A click on a row loads that file; a double click reveals it.

#include "batch/batch_view.h"

#include <QWidget>
#include <functional>

class BatchController;
class QPushButton;
class QTableWidget;

class BatchWidget : public QWidget, public BatchView {
public:
    // Becomes the controller's view and refreshes itself (the buttons start disabled).
    explicit BatchWidget(BatchController& controller, QWidget* parent = nullptr);
    ~BatchWidget() override;

    void setPreviousButtonEnabled(bool enabled) override;
    void setShowInFinderButtonEnabled(bool enabled) override;
    void setNextButtonEnabled(bool enabled) override;
    void reloadTable(std::int64_t selectedRow) override;
    std::optional<std::string> chooseFile(const std::string& prompt,
                                          const std::optional<std::string>& startFolder) override;
    void revealFile(const std::string& path, const std::string& rootFolder) override;

    QPushButton* previousButton() const { return previousButton_; }
    QPushButton* showInFinderButton() const { return showInFinderButton_; }
    QPushButton* nextButton() const { return nextButton_; }
    QPushButton* loadButton() const { return loadButton_; }
    QTableWidget* imagesTableView() const { return table_; }

    // Replaces the open panel (tests answer it without a dialog).
    using FileChooser = std::function<std::optional<std::string>(const std::string& prompt,
                                                                 const std::optional<std::string>& startFolder)>;
    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

private:
    std::optional<std::int64_t> selectedRow() const;

    BatchController& controller_;
    QPushButton* previousButton_ = nullptr;
    QPushButton* showInFinderButton_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QPushButton* loadButton_ = nullptr;
    QTableWidget* table_ = nullptr;
    FileChooser chooser_;
};
