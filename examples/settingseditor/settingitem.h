#ifndef SETTINGITEM_H
#define SETTINGITEM_H

#include "profile.h"
#include "propertyitem.h"

#include <QtGui/QColor>
#include <QtGui/QFont>

#include <type_traits>

// A row of the editor bound to one typed setting of the Profile. Edits stay in the tree until
// save(); reset() (reached through PropertyItemModel::revert()) brings back the stored value.
class Setting : public PropertyItem
{
public:
    enum { Type = 1 };

    using PropertyItem::PropertyItem;

    int type() const override { return Type; }
    virtual bool isModified() const = 0;
    virtual void save() = 0;

    QVariant data(int role) const override
    {
        if (role == Qt::FontRole && isModified()) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return PropertyItem::data(role);
    }
};

template<typename T>
class SettingItem : public Setting
{
public:
    using Getter = T (Profile::*)(const T &);
    using Setter = void (Profile::*)(const T &, bool);

    SettingItem(const QString &label, Getter getter, Setter setter, const T &defaultValue)
        : Setting(label, QVariant::fromValue((Profile::instance().*getter)(defaultValue)))
        , m_getter(getter)
        , m_setter(setter)
        , m_default(defaultValue)
    {
    }

    bool isModified() const override { return edited() != stored(); }
    void save() override { (Profile::instance().*m_setter)(edited(), true); }

    void reset() override
    {
        setValue(QVariant::fromValue(stored()), false);
        Setting::reset();
    }

    QVariant data(int role) const override
    {
        // A colour shows a swatch as well as its name.
        if constexpr (std::is_same_v<T, QColor>) {
            if (role == Qt::DecorationRole)
                return edited();
        }
        return Setting::data(role);
    }

private:
    T edited() const { return value().template value<T>(); }
    T stored() const { return (Profile::instance().*m_getter)(m_default); }

    Getter m_getter;
    Setter m_setter;
    T m_default;
};

// A heading over related settings; its value column counts the unsaved edits below it.
class SettingGroup : public PropertyItem
{
public:
    explicit SettingGroup(const QString &label)
        : PropertyItem(label, QVariant())
    {
        setEditable(false);
    }

    QVariant data(int role) const override
    {
        if (role != Qt::DisplayRole)
            return PropertyItem::data(role);
        int modified = 0;
        for (const PropertyItem *child : children()) {
            if (child->type() == Setting::Type && static_cast<const Setting *>(child)->isModified())
                ++modified;
        }
        return modified ? QStringLiteral("%1 项未保存").arg(modified) : QString();
    }

    void reset() override
    {
        PropertyItem::reset();
        emitDataChanged();
    }

protected:
    // An edit below changes the count shown here; then tell the parents as usual.
    void childChanged(PropertyItem *child) override
    {
        emitDataChanged();
        PropertyItem::childChanged(child);
    }
};

#endif // SETTINGITEM_H
