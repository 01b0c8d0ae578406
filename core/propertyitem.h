#ifndef PROPERTYITEM_H
#define PROPERTYITEM_H

#include "core_global.h"

#include <QtCore/QAbstractItemModel>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QVariant>

class PropertyItemModel;

//! \file propertyitem.h
//! PropertyItem, a node of the tree that PropertyItemModel shows.

//! One node of a tree of named values shown by PropertyItemModel: the name in column 0, the value
//! (the entry under Qt::DisplayRole) in column 1. An item owns its children. Changes of values are
//! announced to the model the tree is attached to; changes can climb the chain of parents through
//! childChanged(). Items and their model belong to the GUI thread.
//!
//! Copies: a copy takes the name, the values and the flags of the original, nothing else. It starts
//! detached (no parent, no model) and without children, because every child belongs to exactly one
//! item; assignment likewise keeps the target's own parent, model and children.
//!
//! Deleting an item deletes its whole subtree. The destructor does not take the item out of its
//! parent: call remove() on the parent first.
class CORE_EXPORT PropertyItem
{
public:
    //! An item without name and value, enabled and selectable.
    PropertyItem();
    //! An item named name holding value.
    PropertyItem(const QString &name, const QVariant &value);
    //! A detached copy of other's name, values and flags (see the class notes).
    PropertyItem(const PropertyItem &other);
    //! Takes other's name, values and flags; announces the change when the values differ.
    PropertyItem &operator=(const PropertyItem &other);
    //! Deletes the item's subtree.
    virtual ~PropertyItem();

    //! The kind of item, for subclasses; 0 here.
    virtual int type() const;
    //! Sets the value and announces it to the model; with notify, the parent hears of it through
    //! childChanged().
    virtual void setValue(const QVariant &value, bool notify);
    //! Resets the children, row by row; subclasses restore their own value.
    virtual void reset();
    //! The entry under role.
    virtual QVariant data(int role) const;
    //! Sets the entry under role; Qt::EditRole and Qt::DisplayRole set the value through
    //! setValue(value, true), an invalid value removes another role's entry.
    virtual void setData(const QVariant &value, int role);

    //! The name, shown in column 0.
    QString name() const { return m_name; }
    //! Sets the name.
    void setName(const QString &name) { m_name = name; }
    //! The value: the entry under Qt::DisplayRole, shown in column 1.
    QVariant value() const { return m_values.value(Qt::DisplayRole); }

    //! The parent item; null for a detached item and a model's root.
    PropertyItem *parent() const { return m_parent; }
    //! The model the item is attached to, or null.
    PropertyItemModel *model() const { return m_model; }
    //! The children, in row order.
    QList<PropertyItem *> children() const { return m_children; }

    //! The item flags the model reports for the row.
    Qt::ItemFlags flags() const { return m_flags; }
    //! Sets the item flags.
    void setFlags(Qt::ItemFlags flags) { m_flags = flags; }
    //! Sets the given flags, or clears them when on is false.
    void changeFlags(Qt::ItemFlags flags, bool on);
    //! Makes the value editable or not.
    void setEditable(bool on) { changeFlags(Qt::ItemIsEditable, on); }
    //! Whether the value is editable.
    bool isEditable() const { return m_flags.testFlag(Qt::ItemIsEditable); }

    //! Appends child as the last row; see insert().
    void append(PropertyItem *child);
    //! Takes ownership of child and attaches it, with its subtree, to this item's model at row. A
    //! row out of range is clamped. A child of another item is moved here: the old parent
    //! announces the removal, then this item the insertion. A child of this item itself is moved
    //! to the requested row (the last row for append()), never listed twice. Null, this item, its
    //! ancestors and a model's root are refused with a warning, since they would break the tree.
    void insert(int row, PropertyItem *child);
    //! Takes child out and detaches it; the caller owns it afterwards. Does nothing for an item that
    //! is not a child of this one.
    void remove(PropertyItem *child);

    //! The model index of the item's name; invalid when it is not in a model's tree.
    QModelIndex index() const;
    //! The model index of the item's value; invalid when it is not in a model's tree.
    QModelIndex valueIndex() const;

protected:
    //! Called when child's value changed with notify; passes the news on to this item's parent.
    virtual void childChanged(PropertyItem *child);

    //! Tells the model that the value cell changed.
    void emitDataChanged();
    //! Calls the parent's childChanged() with this item.
    void notifyParent();
    //! Moves the item under parent (leaving its old parent) and attaches its subtree to model.
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
