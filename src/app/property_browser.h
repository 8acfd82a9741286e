#pragma once
// The property browser: every device on the bus as a tree (device, group, property) and, for
// the selected property, a table of its items with one editor per row (text, number with
// sexagesimal formats, switch, light, BLOB with its picture) and Set, Reset and Save.
// Main thread only; it hears of the bus through PropertiesController.

#include "Common/view_binding.h"
#include "app/properties_controller.h"
#include "app/property_tree_model.h"

#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

class QLabel;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace zeta::app {

class PanelHider;
class PropertyBrowser;

// A value editor: taking focus locks the table against updates of its property.
class TextField final : public QLineEdit {
    Q_OBJECT
public:
    TextField(PropertyBrowser& browser, QWidget* parent);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    PropertyBrowser& browser_;
};

class PropertyBrowser final : public QWidget, public PropertiesView {
    Q_OBJECT
public:
    PropertyBrowser(std::shared_ptr<INDIGO> client, PropertiesController& controller, QWidget* parent = nullptr);

    void propertyDefined(const std::shared_ptr<INDIGO::Property>& property) override;
    void propertyUpdated(const std::shared_ptr<INDIGO::Property>& property) override;
    void propertyDeleted(const std::shared_ptr<INDIGO::Property>& property) override;

    // Shows the panel in front ("hidePanels" decides whether it hides with the application).
    void panel();
    PanelHider& hider() const { return *hider_; }

    void setAction();
    void resetAction();
    void saveAction();
    void switchAction(int row, bool on);

    // Where Save writes an item's bytes: asked of the user; an empty answer saves nothing.
    std::function<QString(const QString& type)> chooseSaveLocation;

    bool locked() const { return locked_; }
    void lock() { locked_ = true; }
    const std::shared_ptr<INDIGO::Property>& selectedProperty() const { return selected_; }
    QTreeView* tree() const { return tree_; }
    PropertyTreeModel* model() const { return model_; }
    QTableWidget* itemsTable() const { return items_; }
    QLabel* propertyNameLabel() const { return header_; }
    QPushButton* setButton() const { return set_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* saveButton() const { return save_; }
    // Why Set sent nothing (a value that is not a number); empty otherwise.
    QLabel* setErrorLabel() const { return setError_; }
    // The value editor of a row, or nullptr.
    TextField* editor(int row) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clicked(const QModelIndex& index);
    void activate(const QModelIndex& index);
    void showSetError(const QString& text);
    // Row heights of pictures follow the table's width.
    void fitPictureRows();
    void selectProperty(const std::shared_ptr<INDIGO::Property>& property);
    void reselect();
    void reloadTable();
    QWidget* makeCell(int row, const std::shared_ptr<INDIGO::Item>& item, bool readOnly);

    std::shared_ptr<INDIGO> client_;
    PropertiesController& controller_;
    zeta::common::ViewBinding<&PropertiesController::setView> binding_{controller_};
    bool locked_ = false;
    std::map<int, TextField*> editors_;
    std::shared_ptr<INDIGO::Property> selected_;
    PropertyTreeModel* model_;
    QTreeView* tree_;
    QTableWidget* items_;
    QPushButton* set_;
    QPushButton* reset_;
    QPushButton* save_;
    QLabel* header_;
    QLabel* setError_;
    // Pictures' sizes by row (width, height), for the row heights.
    std::map<int, QSize> pictures_;
    // The row the keyboard or a press made current, which its click then must not act on again.
    QPersistentModelIndex activated_;
    // Set while the browser itself moves the current row (reselecting, rows coming and going).
    bool reselecting_ = false;
    PanelHider* hider_;
};

} // namespace zeta::app
