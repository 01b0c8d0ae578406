#ifndef PROPERTYITEM_H
#define PROPERTYITEM_H

#include "core_global.h"

#include <QtCore/QAbstractItemModel>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QVariant>

class PropertyItemModel;

// One node of a tree of named values shown by PropertyItemModel: the name in column 0, the value
// (the entry under Qt::DisplayRole) in column 1. An item owns its children. Changes of values are
// announced to the model the tree is attached to; changes can climb the chain of parents through
// childChanged(). Items and their model belong to the GUI thread.
//
// Copies: a copy takes the name, the values and the flags of the original, nothing else. It starts
// detached (no parent, no model) and without children, because every child belongs to exactly one
// item; assignment likewise keeps the target's own parent, model and children.
//
// Deleting an item deletes its whole subtree. The destructor does not take the item out of its
// parent: call remove() on the parent first.
class CORE_EXPORT PropertyItem
{
public:
    PropertyItem();
    PropertyItem(const QString &name, const QVariant &value);
    PropertyItem(const PropertyItem &other);
    PropertyItem &operator=(const PropertyItem &other);
    virtual ~PropertyItem();

    virtual int type() const;
    virtual void setValue(const QVariant &value, bool notify);
    virtual void reset();
    virtual QVariant data(int role) const;
    virtual void setData(const QVariant &value, int role);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QVariant value() const { return m_values.value(Qt::DisplayRole); }

    PropertyItem *parent() const { return m_parent; }
    PropertyItemModel *model() const { return m_model; }
    QList<PropertyItem *> children() const { return m_children; }

    Qt::ItemFlags flags() const { return m_flags; }
    void setFlags(Qt::ItemFlags flags) { m_flags = flags; }
    void changeFlags(Qt::ItemFlags flags, bool on);
    void setEditable(bool on) { changeFlags(Qt::ItemIsEditable, on); }
    bool isEditable() const { return m_flags.testFlag(Qt::ItemIsEditable); }

    // append() and insert() take ownership of child and attach it, with its subtree, to this
    // item's model. A row out of range is clamped. A child of another item is moved here: the old
    // parent announces the removal, then this item the insertion. A child of this item itself is
    // moved to the requested row (the last row for append), never listed twice. Null, this item,
    // its ancestors and a model's root are refused with a warning, since they would break the tree.
    void append(PropertyItem *child);
    void insert(int row, PropertyItem *child);
    // Takes child out and detaches it; the caller owns it afterwards. Does nothing for an item that
    // is not a child of this one.
    void remove(PropertyItem *child);

    QModelIndex index() const;
    QModelIndex valueIndex() const;

protected:
    virtual void childChanged(PropertyItem *child);

    void emitDataChanged();
    void notifyParent();
    void setParentAndModel(PropertyItem *parent, PropertyItemModel *model);

private:
    explicit PropertyItem(PropertyItemModel *model);
    bool canAdopt(const PropertyItem *child) const;

    friend class PropertyItemModel;

    QString m_name;
    QMap<int, QVariant> m_values;
    PropertyItem *m_parent;
    PropertyItemModel *m_model;
    QList<PropertyItem *> m_children;
    Qt::ItemFlags m_flags;
};

#endif // PROPERTYITEM_H
