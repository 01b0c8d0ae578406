#include "propertyitemmodel.h"

PropertyItemModel::PropertyItemModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(new PropertyItem(this))
{
}

PropertyItemModel::~PropertyItemModel()
{
    delete m_root;
}

void PropertyItemModel::append(PropertyItem *item)
{
    m_root->append(item);
}

PropertyItem *PropertyItemModel::itemFromIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_root;
    if (index.model() != this)
        return nullptr;
    return static_cast<PropertyItem *>(index.internalPointer());
}

QModelIndex PropertyItemModel::indexFromItem(const PropertyItem *item, int column) const
{
    if (!item || item == m_root || !item->m_parent || item->m_model != this)
        return QModelIndex();
    const int row = item->m_parent->m_children.indexOf(const_cast<PropertyItem *>(item));
    if (row < 0)
        return QModelIndex();
    return createIndex(row, column, const_cast<PropertyItem *>(item));
}

QModelIndex PropertyItemModel::nameIndexFromItem(const PropertyItem *item) const
{
    return indexFromItem(item, 0);
}

QModelIndex PropertyItemModel::valueIndexFromItem(const PropertyItem *item) const
{
    return indexFromItem(item, 1);
}

QModelIndex PropertyItemModel::index(int row, int column, const QModelIndex &parent) const
{
    const PropertyItem *item = itemFromIndex(parent);
    // Unsigned, so that negative rows and columns fall out too.
    if (!item || uint(row) >= uint(item->m_children.size()) || uint(column) > 1u)
        return QModelIndex();
    return createIndex(row, column, item->m_children.at(row));
}

QModelIndex PropertyItemModel::parent(const QModelIndex &index) const
{
    const PropertyItem *item = itemFromIndex(index);
    if (!item || item == m_root)
        return QModelIndex();
    return nameIndexFromItem(item->m_parent);
}

int PropertyItemModel::rowCount(const QModelIndex &parent) const
{
    const PropertyItem *item = itemFromIndex(parent);
    return item ? item->m_children.size() : 0;
}

int PropertyItemModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent);
    return 2;
}

QVariant PropertyItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const PropertyItem *item = itemFromIndex(index);
    if (!item)
        return QVariant();
    if (index.column() == 0 && role == Qt::DisplayRole)
        return item->name();
    return item->data(role);
}

bool PropertyItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (index.column() != 1)
        return false;
    PropertyItem *item = itemFromIndex(index);
    if (!item || item == m_root)
        return false;
    item->setData(value, role);
    return true;
}

QVariant PropertyItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == 0 ? tr("名称") : tr("值");
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags PropertyItemModel::flags(const QModelIndex &index) const
{
    const PropertyItem *item = itemFromIndex(index);
    if (!item || item == m_root)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = item->flags();
    // Names are never edited; editing a name goes to the value next to it (see buddy()).
    if (index.column() == 0)
        flags &= ~Qt::ItemIsEditable;
    return flags;
}

QModelIndex PropertyItemModel::buddy(const QModelIndex &index) const
{
    if (index.column() != 0)
        return index;
    return this->index(index.row(), 1, parent(index));
}

void PropertyItemModel::revert()
{
    m_root->reset();
}
