#pragma once
// The property browser's tree: devices, their groups and their properties, each level sorted
// by name. It mirrors the client's live model and holds the model objects it shows (they are
// reference counted), so a row never points at a property the bus has deleted. refresh()
// inserts and removes rows one by one instead of resetting, so the view keeps its expansion
// and selection through bus traffic. Main thread only.

#include "Common/indigo.h"

#include <QAbstractItemModel>
#include <memory>
#include <string>
#include <vector>

namespace zeta::app {

class PropertyTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit PropertyTreeModel(QObject* parent = nullptr);
    ~PropertyTreeModel() override;

    // Brings the tree in step with the client's model.
    void refresh(const INDIGO& client);
    // Repaints the property's row (its label and state).
    void propertyChanged(const std::shared_ptr<INDIGO::Property>& property);

    QModelIndex indexOf(const std::shared_ptr<INDIGO::Property>& property) const;
    std::shared_ptr<INDIGO::Property> propertyAt(const QModelIndex& index) const;
    std::shared_ptr<INDIGO::Device> deviceAt(const QModelIndex& index) const;
    bool isGroup(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Node;
    struct Entry;
    void sync(Node& node, const QModelIndex& index, std::vector<Entry> wanted);
    QModelIndex indexOfNode(const Node* node) const;
    Node* nodeAt(const QModelIndex& index) const;

    std::unique_ptr<Node> root_;
};

} // namespace zeta::app
