#ifndef PROPERTYITEMMODEL_H
#define PROPERTYITEMMODEL_H

#include "core_global.h"
#include "propertyitem.h"

#include <QtCore/QAbstractItemModel>

//! \file propertyitemmodel.h
//! PropertyItemModel, the model of a tree of PropertyItems.

//! Shows a tree of PropertyItems in two columns, name and value. The model owns an invisible root
//! item whose children are the top-level rows; deleting the model deletes the whole tree. A valid
//! index carries its item as internal pointer; the invalid index stands for the root. Both columns
//! of a row report the item's children. Names are never edited: a name's buddy is its value.
class CORE_EXPORT PropertyItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    //! An empty model, owned by parent.
    explicit PropertyItemModel(QObject *parent = nullptr);
    //! Deletes the whole tree.
    ~PropertyItemModel() override;

    //! The index of the child at row of parent's item, in column 0 or 1; invalid outside the tree.
    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    //! The name index of the item's parent; invalid for top-level rows.
    QModelIndex parent(const QModelIndex &index) const override;
    using QObject::parent;
    //! The number of children of parent's item.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    //! Always 2: name and value.
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    //! The name in column 0 under Qt::DisplayRole, else the item's entry under role.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    //! Sets the item's entry under role (PropertyItem::setData()); only values, in column 1.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    //! The translated column titles, name and value.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    //! The item's flags; names are never editable.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    //! For a name, the value beside it.
    QModelIndex buddy(const QModelIndex &index) const override;
    //! Resets the whole tree (PropertyItem::reset()).
    void revert() override;

    //! The invisible root item.
    PropertyItem *rootItem() const { return m_root; }
    //! Appends item as a top-level row; see PropertyItem::insert().
    void append(PropertyItem *item);

    //! The item of an index of this model; the root for the invalid index, null for an index of
    //! another model.
    PropertyItem *itemFromIndex(const QModelIndex &index) const;
    //! The index of the item's name; invalid for null, the root, and items that are not in this
    //! model's tree.
    QModelIndex nameIndexFromItem(const PropertyItem *item) const;
    //! The index of the item's value; invalid as for nameIndexFromItem().
    QModelIndex valueIndexFromItem(const PropertyItem *item) const;

private:
    QModelIndex indexFromItem(const PropertyItem *item, int column) const;

    friend class PropertyItem;

    PropertyItem *m_root;
};

#endif // PROPERTYITEMMODEL_H
