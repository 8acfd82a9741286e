#include "app/property_tree_model.h"

#include "Common/device.h"
#include "Common/property.h"
#include "platform/gui/named_image.h"

#include <QIcon>
#include <algorithm>

namespace zeta::app {

struct PropertyTreeModel::Node {
    enum Kind { Root, Device, Group, Property } kind = Root;
    std::string name;
    std::shared_ptr<INDIGO::Device> device;
    std::shared_ptr<INDIGO::Group> group;
    std::shared_ptr<INDIGO::Property> property;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;

    const void* object() const {
        if (property) return property.get();
        if (group) return group.get();
        return device.get();
    }
};

struct PropertyTreeModel::Entry {
    std::string name;
    std::shared_ptr<INDIGO::Device> device;
    std::shared_ptr<INDIGO::Group> group;
    std::shared_ptr<INDIGO::Property> property;
    const void* object() const {
        if (property) return property.get();
        if (group) return group.get();
        return device.get();
    }
};

namespace {

template <class Map>
std::vector<std::string> sortedKeys(const Map& map) {
    std::vector<std::string> keys;
    keys.reserve(map.size());
    for (const auto& [key, value] : map)
        keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace

PropertyTreeModel::PropertyTreeModel(QObject* parent) : QAbstractItemModel(parent), root_(std::make_unique<Node>()) {}

PropertyTreeModel::~PropertyTreeModel() = default;

void PropertyTreeModel::refresh(const INDIGO& client) {
    const auto devices = client.devices();
    std::vector<Entry> wanted;
    for (const std::string& name : sortedKeys(devices))
        wanted.push_back({name, devices.at(name), nullptr, nullptr});
    sync(*root_, {}, std::move(wanted));
}

void PropertyTreeModel::sync(Node& node, const QModelIndex& index, std::vector<Entry> wanted) {
    // Both lists are sorted by name: walk them together, removing rows that are gone (or
    // now stand for another object) and inserting rows that are new.
    std::size_t row = 0;
    for (const Entry& entry : wanted) {
        while (row < node.children.size() &&
               (node.children[row]->name < entry.name ||
                (node.children[row]->name == entry.name && node.children[row]->object() != entry.object()))) {
            beginRemoveRows(index, static_cast<int>(row), static_cast<int>(row));
            node.children.erase(node.children.begin() + static_cast<std::ptrdiff_t>(row));
            endRemoveRows();
        }
        if (row == node.children.size() || node.children[row]->name != entry.name) {
            auto child = std::make_unique<Node>();
            child->kind = node.kind == Node::Root     ? Node::Device
                          : node.kind == Node::Device ? Node::Group
                                                      : Node::Property;
            child->name = entry.name;
            child->device = entry.device;
            child->group = entry.group;
            child->property = entry.property;
            child->parent = &node;
            beginInsertRows(index, static_cast<int>(row), static_cast<int>(row));
            node.children.insert(node.children.begin() + static_cast<std::ptrdiff_t>(row), std::move(child));
            endInsertRows();
        }
        ++row;
    }
    if (row < node.children.size()) {
        beginRemoveRows(index, static_cast<int>(row), static_cast<int>(node.children.size() - 1));
        node.children.resize(row);
        endRemoveRows();
    }
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        Node& child = *node.children[i];
        const QModelIndex childIndex = this->index(static_cast<int>(i), 0, index);
        std::vector<Entry> below;
        if (child.kind == Node::Device) {
            const auto groups = child.device->groups();
            for (const std::string& name : sortedKeys(groups))
                below.push_back({name, child.device, groups.at(name), nullptr});
        } else if (child.kind == Node::Group) {
            const auto properties = child.group->properties();
            for (const std::string& name : sortedKeys(properties))
                below.push_back({name, child.device, child.group, properties.at(name)});
        } else {
            continue;
        }
        sync(child, childIndex, std::move(below));
        if (child.kind == Node::Device) emit dataChanged(childIndex, childIndex);
    }
}

void PropertyTreeModel::propertyChanged(const std::shared_ptr<INDIGO::Property>& property) {
    const QModelIndex index = indexOf(property);
    if (index.isValid()) emit dataChanged(index, index);
    if (property && index.isValid()) {
        const QModelIndex device = index.parent().parent();
        emit dataChanged(device, device);
    }
}

QModelIndex PropertyTreeModel::indexOf(const std::shared_ptr<INDIGO::Property>& property) const {
    if (!property) return {};
    for (const auto& device : root_->children)
        for (const auto& group : device->children)
            for (const auto& node : group->children)
                if (node->property == property) return indexOfNode(node.get());
    return {};
}

std::shared_ptr<INDIGO::Property> PropertyTreeModel::propertyAt(const QModelIndex& index) const {
    const Node* node = nodeAt(index);
    return node != nullptr && node->kind == Node::Property ? node->property : nullptr;
}

std::shared_ptr<INDIGO::Device> PropertyTreeModel::deviceAt(const QModelIndex& index) const {
    const Node* node = nodeAt(index);
    return node != nullptr && node->kind == Node::Device ? node->device : nullptr;
}

bool PropertyTreeModel::isGroup(const QModelIndex& index) const {
    const Node* node = nodeAt(index);
    return node != nullptr && node->kind == Node::Group;
}

PropertyTreeModel::Node* PropertyTreeModel::nodeAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex PropertyTreeModel::indexOfNode(const Node* node) const {
    if (node == nullptr || node->parent == nullptr) return {};
    const auto& siblings = node->parent->children;
    for (std::size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == node) return createIndex(static_cast<int>(i), 0, const_cast<Node*>(node));
    return {};
}

QModelIndex PropertyTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* node = nodeAt(parent);
    if (node == nullptr || row < 0 || column != 0 || static_cast<std::size_t>(row) >= node->children.size()) return {};
    return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex PropertyTreeModel::parent(const QModelIndex& child) const {
    const Node* node = nodeAt(child);
    if (!child.isValid() || node->parent == nullptr) return {};
    return indexOfNode(node->parent);
}

int PropertyTreeModel::rowCount(const QModelIndex& parent) const {
    const Node* node = nodeAt(parent);
    return node != nullptr ? static_cast<int>(node->children.size()) : 0;
}

int PropertyTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant PropertyTreeModel::data(const QModelIndex& index, int role) const {
    const Node* node = nodeAt(index);
    if (!index.isValid() || node == nullptr) return {};
    switch (node->kind) {
    case Node::Device:
        if (role == Qt::DisplayRole) return QString::fromStdString(node->name);
        if (role == Qt::DecorationRole)
            return QIcon(QPixmap::fromImage(
                zeta::platform::namedImage(node->device->connected() ? "NSStatusAvailable" : "NSStatusNone")));
        break;
    case Node::Group:
        if (role == Qt::DisplayRole) return QString::fromStdString(node->name);
        break;
    case Node::Property:
        if (role == Qt::DisplayRole) return QString::fromStdString(node->property->description());
        if (role == Qt::DecorationRole) return QIcon(QPixmap::fromImage(node->property->stateImage()));
        break;
    default:
        break;
    }
    return {};
}

} // namespace zeta::app
