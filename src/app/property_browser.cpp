#include "app/property_browser.h"

#include "app/atomic_file.h"
#include "app/number_format.h"
#include "app/panel_hider.h"
#include "app/save_alert.h"
#include "imaging/image.h"
#include "platform/constants.h"
#include "platform/gui/named_image.h"
#include "platform/image/bitmap_image_rep.h"
#include "platform/image/picture.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace zeta::app {

namespace {

constexpr int kRowHeight = 20;

QColor qColor(const platform::Color& color) {
    return QColor::fromRgbF(color.red, color.green, color.blue, color.alpha);
}

void paintText(QLineEdit* field, const QColor& color) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, color);
    field->setPalette(palette);
}

// The stretched rendering of a decoded frame, copied out of its bitmap.
QImage renderingOf(const Image& image) {
    const auto picture = image.image();
    if (!picture) return {};
    const auto rep = picture->firstBitmapImageRep();
    if (!rep || rep->bitmapData() == nullptr) return {};
    return QImage(rep->bitmapData(), static_cast<int>(rep->pixelsWide()), static_cast<int>(rep->pixelsHigh()),
                  static_cast<qsizetype>(rep->bytesPerRow()), QImage::Format_RGB888)
        .copy();
}

} // namespace

TextField::TextField(PropertyBrowser& browser, QWidget* parent) : QLineEdit(parent), browser_(browser) {
    connect(this, &QLineEdit::textEdited, this, [this] { paintText(this, qColor(GRAPH_COLOR_2())); });
}

void TextField::focusInEvent(QFocusEvent* event) {
    browser_.lock();
    QLineEdit::focusInEvent(event);
}

PropertyBrowser::PropertyBrowser(std::shared_ptr<INDIGO> client, PropertiesController& controller, QWidget* parent)
    : QWidget(parent, Qt::Tool), client_(std::move(client)), controller_(controller),
      model_(new PropertyTreeModel(this)), tree_(new QTreeView), items_(new QTableWidget(0, 1)),
      set_(new QPushButton(tr("Set"))), reset_(new QPushButton(tr("Reset"))), save_(new QPushButton(tr("Save"))),
      header_(new QLabel), setError_(new QLabel), hider_(new PanelHider(this)) {
    setWindowTitle(tr("Properties"));
    setObjectName("propertyBrowser");
    tree_->setObjectName("propertiesOutlineView");
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    items_->setObjectName("itemsTableView");
    items_->horizontalHeader()->hide();
    items_->verticalHeader()->hide();
    items_->horizontalHeader()->setStretchLastSection(true);
    items_->setSelectionMode(QAbstractItemView::NoSelection);
    header_->setObjectName("propertyNameLabel");
    set_->setObjectName("setButton");
    reset_->setObjectName("resetButton");
    save_->setObjectName("saveButton");
    for (QPushButton* button : {set_, reset_, save_})
        button->setEnabled(false);

    auto* right = new QWidget;
    auto* column = new QVBoxLayout(right);
    column->addWidget(header_);
    column->addWidget(items_, 1);
    auto* buttons = new QHBoxLayout;
    setError_->setObjectName("setErrorLabel");
    setError_->setWordWrap(true);
    setError_->setStyleSheet("color: #c00000;");
    setError_->hide();
    buttons->addWidget(setError_, 1);
    buttons->addWidget(save_);
    buttons->addWidget(reset_);
    buttons->addWidget(set_);
    column->addLayout(buttons);
    auto* splitter = new QSplitter;
    splitter->addWidget(tree_);
    splitter->addWidget(right);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(800, 500);

    connect(tree_, &QTreeView::clicked, this, &PropertyBrowser::clicked);
    // The keyboard moves the current row without a click: it selects as a click does.
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (reselecting_ || !current.isValid()) return;
        activated_ = current;
        activate(current);
    });
    items_->viewport()->installEventFilter(this);
    connect(tree_, &QTreeView::expanded, this, [this] { reselect(); });
    connect(tree_, &QTreeView::collapsed, this, [this] { reselect(); });
    connect(set_, &QPushButton::clicked, this, &PropertyBrowser::setAction);
    connect(reset_, &QPushButton::clicked, this, &PropertyBrowser::resetAction);
    connect(save_, &QPushButton::clicked, this, &PropertyBrowser::saveAction);
    chooseSaveLocation = [this](const QString& type) {
        return QFileDialog::getSaveFileName(this, tr("Save"), QString(),
                                            tr("%1 files (*.%1);;All files (*)").arg(type));
    };

    binding_.bind(this);
    if (client_) model_->refresh(*client_);
}

void PropertyBrowser::panel() {
    hider_->orderFront();
}

void PropertyBrowser::propertyDefined(const std::shared_ptr<INDIGO::Property>&) {
    // Rows come and go under the current one: that is no choice of the user's.
    const QScopedValueRollback guard(reselecting_, true);
    if (client_) model_->refresh(*client_);
}

void PropertyBrowser::propertyUpdated(const std::shared_ptr<INDIGO::Property>& property) {
    if (!selected_) return;
    if (property == selected_ && !locked_) reloadTable();
    model_->propertyChanged(property);
    reselect();
}

void PropertyBrowser::propertyDeleted(const std::shared_ptr<INDIGO::Property>& property) {
    if (property == selected_) {
        selected_.reset();
        header_->clear();
        for (QPushButton* button : {set_, reset_, save_})
            button->setEnabled(false);
        reloadTable();
    }
    const QScopedValueRollback guard(reselecting_, true);
    if (client_) model_->refresh(*client_);
}

bool PropertyBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == items_->viewport() && event->type() == QEvent::Resize) fitPictureRows();
    return QWidget::eventFilter(watched, event);
}

void PropertyBrowser::fitPictureRows() {
    if (!selected_ || selected_->type() != INDIGO_BLOB_VECTOR) return;
    const int width = items_->viewport()->width();
    for (int row = 0; row < items_->rowCount(); ++row) {
        const auto found = pictures_.find(row);
        const QSize picture = found != pictures_.end() ? found->second : QSize();
        const int height = picture.width() > 0 && picture.height() > 0
                               ? static_cast<int>(double(width + 5) / picture.width() * picture.height())
                               : (width + 5) * 2 / 3;
        items_->setRowHeight(row, height);
    }
}

void PropertyBrowser::clicked(const QModelIndex& index) {
    // The press already made it current and so selected it.
    if (index == activated_) {
        activated_ = QPersistentModelIndex();
        return;
    }
    activate(index);
}

void PropertyBrowser::activate(const QModelIndex& index) {
    if (const auto property = model_->propertyAt(index)) {
        selectProperty(property);
        locked_ = false;
        reloadTable();
    } else if (model_->isGroup(index)) {
        tree_->expand(index);
    } else if (const auto device = model_->deviceAt(index)) {
        tree_->expand(index);
        const auto connection = device->connectionProperty();
        const QModelIndex row = model_->indexOf(connection);
        if (row.isValid()) {
            tree_->expand(row.parent());
            selectProperty(connection);
            locked_ = false;
            reloadTable();
        }
    }
    reselect();
}

void PropertyBrowser::selectProperty(const std::shared_ptr<INDIGO::Property>& property) {
    selected_ = property;
    header_->setText(QString::fromStdString(property->device()->name()) + QStringLiteral(" \u2192 ") +
                     QString::fromStdString(property->description()));
    editors_.clear();
}

void PropertyBrowser::reselect() {
    const QScopedValueRollback guard(reselecting_, true);
    const QModelIndex row = model_->indexOf(selected_);
    if (row.isValid())
        tree_->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    else
        tree_->selectionModel()->clearSelection();
}

TextField* PropertyBrowser::editor(int row) const {
    const auto found = editors_.find(row);
    return found != editors_.end() ? found->second : nullptr;
}

void PropertyBrowser::reloadTable() {
    items_->setRowCount(0);
    editors_.clear();
    pictures_.clear();
    showSetError({});
    if (!selected_) return;
    const auto& names = selected_->itemNames();
    const bool readOnly = selected_->readOnly();
    items_->setRowCount(static_cast<int>(names.size()));
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
        const auto item = selected_->item(names[static_cast<std::size_t>(row)]);
        if (!item) continue;
        if (QWidget* cell = makeCell(row, item, readOnly)) items_->setCellWidget(row, 0, cell);
    }
}

QWidget* PropertyBrowser::makeCell(int row, const std::shared_ptr<INDIGO::Item>& item, bool readOnly) {
    auto* cell = new QWidget;
    auto* layout = new QHBoxLayout(cell);
    layout->setContentsMargins(2, 0, 2, 0);
    const QString label = QString::fromStdString(item->description());
    int height = kRowHeight;
    const auto setButtons = [&](bool set, bool save) {
        set_->setEnabled(set);
        reset_->setEnabled(set);
        save_->setEnabled(save);
    };
    if (const auto text = std::dynamic_pointer_cast<INDIGO::TextItem>(item)) {
        auto* name = new QLabel(label + ":");
        name->setObjectName("label");
        auto* value = new TextField(*this, cell);
        value->setObjectName("value");
        value->setText(QString::fromStdString(text->value()));
        value->setEnabled(!readOnly);
        layout->addWidget(name);
        layout->addWidget(value, 1);
        editors_[row] = value;
        setButtons(!readOnly, false);
    } else if (const auto number = std::dynamic_pointer_cast<INDIGO::NumberItem>(item)) {
        const std::string format = number->format();
        auto* name = new QLabel(label + ":");
        name->setObjectName("label");
        auto* value = new TextField(*this, cell);
        value->setObjectName("value");
        value->setText(QString::fromStdString(formatNumber(format, number->value())));
        value->setEnabled(!readOnly);
        auto* target = new QLabel(QString::fromStdString(formatNumber(format, number->target())));
        target->setObjectName("target");
        layout->addWidget(name);
        layout->addWidget(value, 1);
        layout->addWidget(target);
        editors_[row] = value;
        setButtons(!readOnly, false);
    } else if (const auto sw = std::dynamic_pointer_cast<INDIGO::SwitchItem>(item)) {
        auto* button = new QCheckBox(label.isEmpty() ? QString::fromStdString(item->name()) : label);
        button->setObjectName("switch");
        button->setChecked(sw->value());
        button->setEnabled(!readOnly);
        connect(button, &QCheckBox::clicked, this, [this, row](bool on) { switchAction(row, on); });
        layout->addWidget(button);
        setButtons(false, false);
    } else if (const auto light = std::dynamic_pointer_cast<INDIGO::LightItem>(item)) {
        const int value = light->value();
        const char* image = value == 1   ? "NSStatusAvailable"
                            : value == 2 ? "NSStatusPartiallyAvailable"
                            : value == 3 ? "NSStatusUnavailable"
                                         : "NSStatusNone";
        auto* icon = new QLabel;
        icon->setObjectName(image);
        icon->setPixmap(QPixmap::fromImage(platform::namedImage(image)));
        layout->addWidget(icon);
        layout->addWidget(new QLabel(label), 1);
        setButtons(false, false);
    } else if (const auto blob = std::dynamic_pointer_cast<INDIGO::BLOBItem>(item)) {
        auto* picture = new QLabel;
        picture->setObjectName("picture");
        picture->setScaledContents(true);
        const int width = items_->viewport()->width();
        height = (width + 5) * 2 / 3;
        if (const auto image = blob->image()) {
            image->setBlackPoint(image->autoBlackPoint());
            image->setWhitePoint(image->autoWhitePoint());
            const QImage rendering = renderingOf(*image);
            if (rendering.width() > 0 && rendering.height() > 0) {
                picture->setPixmap(QPixmap::fromImage(rendering));
                pictures_[row] = rendering.size();
                height = static_cast<int>(double(width + 5) / rendering.width() * rendering.height());
            }
        }
        layout->addWidget(picture);
        setButtons(false, true);
    } else {
        delete cell;
        return nullptr;
    }
    items_->setRowHeight(row, height);
    return cell;
}

void PropertyBrowser::setAction() {
    if (!selected_ || !client_) return;
    const auto& names = selected_->itemNames();
    if (selected_->type() == INDIGO_NUMBER_VECTOR) {
        INDIGO::NumberValues values;
        for (int row = 0; row < static_cast<int>(names.size()); ++row) {
            const auto item = selected_->item<INDIGO::NumberItem>(names[static_cast<std::size_t>(row)]);
            TextField* field = editor(row);
            if (!item || field == nullptr) continue;
            const auto value = readNumber(item->format(), field->text().toStdString());
            if (!value) {
                // Sent as 0 it would reach the device as a real request (a binning of 0).
                const QString expected =
                    isSexagesimalFormat(item->format()) ? tr("a number or h:mm:ss") : tr("a number");
                showSetError(tr("%1: \"%2\" is not %3. Nothing was sent.")
                                 .arg(QString::fromStdString(item->description()), field->text(), expected));
                field->setFocus();
                return;
            }
            values.emplace_back(item->name(), *value);
        }
        showSetError({});
        locked_ = false;
        client_->setNumberItems(selected_, values);
    } else if (selected_->type() == INDIGO_TEXT_VECTOR) {
        INDIGO::TextValues values;
        for (int row = 0; row < static_cast<int>(names.size()); ++row) {
            const auto item = selected_->item(names[static_cast<std::size_t>(row)]);
            TextField* field = editor(row);
            if (!item || field == nullptr) continue;
            values.emplace_back(item->name(), field->text().toStdString());
        }
        locked_ = false;
        client_->setTextItems(selected_, values);
    }
}

void PropertyBrowser::showSetError(const QString& text) {
    setError_->setText(text);
    setError_->setVisible(!text.isEmpty());
}

void PropertyBrowser::resetAction() {
    locked_ = false;
    reloadTable();
}

void PropertyBrowser::switchAction(int row, bool on) {
    if (!selected_ || !client_ || row < 0 || row >= static_cast<int>(selected_->itemNames().size())) return;
    client_->setSwitchItem(selected_, selected_->itemNames()[static_cast<std::size_t>(row)], on);
}

void PropertyBrowser::saveAction() {
    if (!selected_) return;
    // Copy the items first: a save dialog runs the event loop, and the selection may change.
    const auto property = selected_;
    for (const auto& [name, item] : property->items()) {
        const auto blob = std::dynamic_pointer_cast<INDIGO::BLOBItem>(item);
        if (!blob) continue;
        const platform::Data bytes = blob->value();
        if (bytes.empty()) continue;
        const std::string format = blob->format();
        const auto dot = format.rfind('.');
        const QString type = QString::fromStdString(dot == std::string::npos ? format : format.substr(dot + 1));
        const QString path = chooseSaveLocation ? chooseSaveLocation(type) : QString();
        if (path.isEmpty()) continue;
        // Whole or not at all: a short write must not leave a cut frame under the chosen name.
        if (writeFileAtomically(path.toStdString(),
                                std::string_view(reinterpret_cast<const char*>(bytes.bytes()), bytes.length())))
            continue;
        showSaveFailed(*this, tr("Can't save"), tr("The data could not be written to %1.").arg(path), "saveBlobAlert");
    }
}

} // namespace zeta::app
