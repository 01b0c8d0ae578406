#ifndef PROPERTYITEMMODEL_H
#define PROPERTYITEMMODEL_H

#include "core_global.h"
#include "propertyitem.h"

#include <QtCore/QAbstractItemModel>

// Shows a tree of PropertyItems in two columns, name and value. The model owns an invisible root
// item whose children are the top-level rows; deleting the model deletes the whole tree. A valid
// index carries its item as internal pointer; the invalid index stands for the root. Both columns
// of a row report the item's children.
class CORE_EXPORT PropertyItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit PropertyItemModel(QObject *parent = nullptr);
    ~PropertyItemModel() override;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    using QObject::parent;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QModelIndex buddy(const QModelIndex &index) const override;
    void revert() override;

    PropertyItem *rootItem() const { return m_root; }
    void append(PropertyItem *item);

    // The item of an index of this model; the root for the invalid index, null for an index of
    // another model.
    PropertyItem *itemFromIndex(const QModelIndex &index) const;
    // Invalid for null, the root, and items that are not in this model's tree.
    QModelIndex nameIndexFromItem(const PropertyItem *item) const;
    QModelIndex valueIndexFromItem(const PropertyItem *item) const;

private:
    QModelIndex indexFromItem(const PropertyItem *item, int column) const;

    friend class PropertyItem;

    PropertyItem *m_root;
};

#endif // PROPERTYITEMMODEL_H
