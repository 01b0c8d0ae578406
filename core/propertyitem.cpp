#include "propertyitem.h"
#include "propertyitemmodel.h"

#include <QtCore/QDebug>

#include <utility>

namespace {
constexpr Qt::ItemFlags defaultFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
}

PropertyItem::PropertyItem()
    : m_parent(nullptr)
    , m_model(nullptr)
    , m_flags(defaultFlags)
{
}

PropertyItem::PropertyItem(const QString &name, const QVariant &value)
    : m_name(name)
    , m_parent(nullptr)
    , m_model(nullptr)
    , m_flags(defaultFlags)
{
    setValue(value, false);
}

PropertyItem::PropertyItem(PropertyItemModel *model)
    : m_parent(nullptr)
    , m_model(model)
    , m_flags(defaultFlags)
{
}

PropertyItem::PropertyItem(const PropertyItem &other)
    : m_name(other.m_name)
    , m_values(other.m_values)
    , m_parent(nullptr)
    , m_model(nullptr)
    , m_flags(other.m_flags)
{
}

PropertyItem &PropertyItem::operator=(const PropertyItem &other)
{
    if (this == &other)
        return *this;
    m_name = other.m_name;
    m_flags = other.m_flags;
    if (m_values != other.m_values) {
        m_values = other.m_values;
        emitDataChanged();
    }
    return *this;
}

PropertyItem::~PropertyItem()
{
    Q_ASSERT_X(!m_parent || !m_parent->m_children.contains(this), "PropertyItem::~PropertyItem",
               "an item must be removed from its parent before it is deleted");
    // Empty the list first, so that a child being deleted is no longer listed here.
    const QList<PropertyItem *> children = std::exchange(m_children, QList<PropertyItem *>());
    qDeleteAll(children);
}

int PropertyItem::type() const
{
    return 0;
}

void PropertyItem::setValue(const QVariant &value, bool notify)
{
    m_values.insert(Qt::DisplayRole, value);
    emitDataChanged();
    if (notify)
        notifyParent();
}

void PropertyItem::reset()
{
    // By row, not over a copy of the list: an override may take children out.
    for (int row = 0; row < m_children.size(); ++row)
        m_children.at(row)->reset();
}

QVariant PropertyItem::data(int role) const
{
    return m_values.value(role);
}

void PropertyItem::setData(const QVariant &value, int role)
{
    if (role == Qt::EditRole)
        role = Qt::DisplayRole;
    if (m_values.value(role) == value)
        return;

    if (role == Qt::DisplayRole) {
        setValue(value, true);
        return;
    }
    if (value.isValid())
        m_values.insert(role, value);
    else
        m_values.remove(role);
    emitDataChanged();
}

void PropertyItem::changeFlags(Qt::ItemFlags flags, bool on)
{
    if (on)
        m_flags |= flags;
    else
        m_flags &= ~flags;
}

void PropertyItem::append(PropertyItem *child)
{
    insert(m_children.size(), child);
}

bool PropertyItem::canAdopt(const PropertyItem *child) const
{
    if (!child)
        return false;
    if (child->m_model && child == child->m_model->m_root)
        return false;
    for (const PropertyItem *item = this; item; item = item->m_parent) {
        if (item == child)
            return false;
    }
    return true;
}

void PropertyItem::insert(int row, PropertyItem *child)
{
    if (!canAdopt(child)) {
        qWarning("PropertyItem::insert: Ignoring item %p, which cannot become a child of %p",
                 static_cast<void *>(child), static_cast<void *>(this));
        return;
    }

    PropertyItemModel *const model = m_model;
    const int from = m_children.indexOf(child);
    if (from >= 0) {
        // Already ours: move it within the list rather than listing it twice.
        const int to = qBound(0, row, m_children.size() - 1);
        if (to == from)
            return;
        const QModelIndex parentIndex = index();
        if (model && !model->beginMoveRows(parentIndex, from, from, parentIndex,
                                           to > from ? to + 1 : to)) {
            return;
        }
        m_children.move(from, to);
        if (model)
            model->endMoveRows();
        return;
    }

    // A child of another item leaves it first, so that its old model has announced the removal
    // before this model announces the insertion: nested announcements would hand views and proxy
    // models parent indexes whose rows are already out of date.
    if (child->m_parent)
        child->m_parent->remove(child);

    row = qBound(0, row, m_children.size());
    if (model)
        model->beginInsertRows(index(), row, row);
    m_children.insert(row, child);
    child->setParentAndModel(this, model);
    if (model)
        model->endInsertRows();
}

void PropertyItem::remove(PropertyItem *child)
{
    const int row = m_children.indexOf(child);
    if (row < 0)
        return;

    PropertyItemModel *const model = m_model;
    if (model)
        model->beginRemoveRows(index(), row, row);
    m_children.removeAt(row);
    child->setParentAndModel(nullptr, nullptr);
    if (model)
        model->endRemoveRows();
}

QModelIndex PropertyItem::index() const
{
    return m_model ? m_model->nameIndexFromItem(this) : QModelIndex();
}

QModelIndex PropertyItem::valueIndex() const
{
    return m_model ? m_model->valueIndexFromItem(this) : QModelIndex();
}

void PropertyItem::childChanged(PropertyItem *child)
{
    Q_UNUSED(child);
    notifyParent();
}

void PropertyItem::emitDataChanged()
{
    if (!m_model)
        return;
    const QModelIndex cell = valueIndex();
    emit m_model->dataChanged(cell, cell);
}

void PropertyItem::notifyParent()
{
    if (m_parent)
        m_parent->childChanged(this);
}

void PropertyItem::setParentAndModel(PropertyItem *parent, PropertyItemModel *model)
{
    // Leaving another parent: that parent announces the removal in its own model.
    if (m_parent && m_parent != parent)
        m_parent->remove(this);
    if (model != m_model) {
        for (int row = 0; row < m_children.size(); ++row)
            m_children.at(row)->setParentAndModel(this, model);
    }
    m_parent = parent;
    m_model = model;
}
