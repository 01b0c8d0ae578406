#include <QtTest>
#include <QAbstractItemModelTester>
#include <QSortFilterProxyModel>
#include <QTranslator>

#include "propertyitem.h"
#include "propertyitemmodel.h"

// Counts live instances and logs the virtual calls that the tree makes on its items.
class CountedItem : public PropertyItem
{
public:
    explicit CountedItem(const QString &name, const QVariant &value = QVariant())
        : PropertyItem(name, value)
    {
        ++alive;
    }
    CountedItem(const CountedItem &other) : PropertyItem(other) { ++alive; }
    ~CountedItem() override { --alive; }
    CountedItem &operator=(const CountedItem &) = default;

    void reset() override
    {
        log << "reset " + name();
        PropertyItem::reset();
    }

    static int alive;
    static QStringList log;

protected:
    void childChanged(PropertyItem *child) override
    {
        log << name() + " <- " + child->name();
        PropertyItem::childChanged(child);
    }
};

int CountedItem::alive = 0;
QStringList CountedItem::log;

// Answers every lookup with its context, to show which texts pass through tr and where.
class ContextTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        return QString::fromUtf8(context) + ':' + QString::fromUtf8(source);
    }
    bool isEmpty() const override { return false; }
};

// Logs row announcements and value changes as "<signal> <parent name> <first>-<last>".
static void recordSignals(PropertyItemModel *model, QStringList *log)
{
    auto name = [model](const QModelIndex &index) {
        return index.isValid() ? model->itemFromIndex(index)->name() : QStringLiteral("root");
    };
    auto rows = [=](const char *what) {
        return [=](const QModelIndex &parent, int first, int last) {
            *log << QStringLiteral("%1 %2 %3-%4").arg(what, name(parent)).arg(first).arg(last);
        };
    };
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeInserted, rows("insert?"));
    QObject::connect(model, &QAbstractItemModel::rowsInserted, rows("inserted"));
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, rows("remove?"));
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, rows("removed"));
    QObject::connect(model, &QAbstractItemModel::rowsMoved,
                     [=](const QModelIndex &parent, int first, int last, const QModelIndex &,
                         int to) { *log << QStringLiteral("moved %1 %2-%3 to %4")
                                               .arg(name(parent)).arg(first).arg(last).arg(to); });
    QObject::connect(model, &QAbstractItemModel::dataChanged,
                     [=](const QModelIndex &from, const QModelIndex &to) {
                         QVERIFY(from == to);
                         *log << QStringLiteral("changed %1 column %2")
                                     .arg(name(from)).arg(from.column());
                     });
}

// Walks every index below parent and returns the first inconsistency between the model's answers
// and the items, or an empty text. Stands in for the model tester on nested trees, where its
// check that a value cell has no children of its own does not apply to this model.
static QString checkTree(const PropertyItemModel &model, const QModelIndex &parent = QModelIndex())
{
    const PropertyItem *item = model.itemFromIndex(parent);
    if (model.rowCount(parent) != item->children().size())
        return "row count of " + item->name();
    for (int row = 0; row < item->children().size(); ++row) {
        const PropertyItem *child = item->children().at(row);
        if (child->parent() != item || child->model() != &model)
            return "parent or model of " + child->name();
        if (child->index() != model.index(row, 0, parent) || child->valueIndex().row() != row)
            return "index of " + child->name();
        for (int column = 0; column < 2; ++column) {
            const QModelIndex index = model.index(row, column, parent);
            if (index.internalPointer() != child || model.parent(index) != parent)
                return QStringLiteral("parent of %1 in column %2").arg(child->name()).arg(column);
            if (model.rowCount(index) != child->children().size())
                return "children of " + child->name();
        }
        const QString fault = checkTree(model, model.index(row, 0, parent));
        if (!fault.isEmpty())
            return fault;
    }
    return QString();
}

static QStringList names(const PropertyItem *item)
{
    QStringList result;
    for (const PropertyItem *child : item->children())
        result << child->name();
    return result;
}

class tst_PropertyItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newItemsAndModels();
    void valuesAndAnnouncements();
    void changesClimbToTheRoot();
    void insertsAndRemovesFlat();
    void nestedInsertsAndRemoves();
    void moveBetweenParentsOfOneModel();
    void moveBetweenModels();
    void childOfTheSameItem();
    void refusedChildren();
    void copiesOwnNoChildren();
    void indexes();
    void dataFlagsAndBuddy();
    void headers();
    void revertReachesEveryItem();
    void destructionDeletesEveryItem();

private:
    QTemporaryDir m_dir;
};

void tst_PropertyItem::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void tst_PropertyItem::init()
{
    CountedItem::alive = 0;
    CountedItem::log.clear();
}

void tst_PropertyItem::cleanup()
{
    QCOMPARE(CountedItem::alive, 0);
}

void tst_PropertyItem::newItemsAndModels()
{
    PropertyItem item("hospital", 7);
    QCOMPARE(item.value(), QVariant(7));
    QCOMPARE(item.flags(), Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
    item.setEditable(false);
    QCOMPARE(item.flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QVERIFY(!item.index().isValid() && !item.valueIndex().isValid());

    PropertyItemModel model;
    QAbstractItemModelTester tester(&model);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 2);
    QVERIFY(model.rootItem() && model.rootItem()->name().isEmpty());
}

void tst_PropertyItem::valuesAndAnnouncements()
{
    PropertyItemModel model;
    QAbstractItemModelTester tester(&model);
    model.append(new PropertyItem("first", 0));
    auto *item = new PropertyItem("second", 0);
    model.append(item);
    QStringList log;
    recordSignals(&model, &log);
    const QStringList once("changed second column 1");
    const QStringList twice = once + once;

    // setValue never compares; setData ignores an equal value, and the edit role is the value.
    item->setValue(5, false);
    item->setValue(5, false);
    QCOMPARE(log, twice);
    log.clear();
    item->setData(6, Qt::DisplayRole);
    item->setData(6, Qt::DisplayRole);
    item->setData(6, Qt::EditRole);
    QVERIFY(model.setData(item->valueIndex(), 6, Qt::EditRole));
    QCOMPARE(log, once);
    QCOMPARE(item->value(), QVariant(6));
    QVERIFY(!item->data(Qt::EditRole).isValid()); // no role is mapped on reading

    // Other roles: an invalid value removes the entry.
    log.clear();
    item->setData("tip", Qt::ToolTipRole);
    item->setData("tip", Qt::ToolTipRole);
    QCOMPARE(item->data(Qt::ToolTipRole), QVariant("tip"));
    item->setData(QVariant(), Qt::ToolTipRole);
    item->setData(QVariant(), Qt::ToolTipRole);
    QVERIFY(!item->data(Qt::ToolTipRole).isValid());
    QCOMPARE(log, twice);

    log.clear();
    item->setData(QVariant(), Qt::EditRole);
    QVERIFY(!item->value().isValid());
    QCOMPARE(log, once);
}

void tst_PropertyItem::changesClimbToTheRoot()
{
    auto *top = new CountedItem("top");
    auto *middle = new CountedItem("middle");
    auto *leaf = new CountedItem("leaf");
    top->append(middle);
    middle->append(leaf);

    leaf->setValue(1, false);
    leaf->setData("tip", Qt::ToolTipRole);
    QVERIFY(CountedItem::log.isEmpty());
    leaf->setValue(1, true);
    QCOMPARE(CountedItem::log, QStringList({"middle <- leaf", "top <- middle"}));

    // Attached, an edit through the model climbs the same way, up to the model's root.
    PropertyItemModel model;
    model.append(top);
    CountedItem::log.clear();
    QVERIFY(model.setData(leaf->valueIndex(), 2, Qt::EditRole));
    QCOMPARE(CountedItem::log, QStringList({"middle <- leaf", "top <- middle"}));
    QCOMPARE(leaf->value(), QVariant(2));
}

void tst_PropertyItem::insertsAndRemovesFlat()
{
    PropertyItemModel model;
    QAbstractItemModelTester tester(&model);
    QStringList log;
    recordSignals(&model, &log);
    for (const char *name : {"a", "b", "c"})
        model.append(new PropertyItem(name, 0));
    QCOMPARE(log.last(), QString("inserted root 2-2"));

    log.clear();
    model.rootItem()->insert(-5, new PropertyItem("low", 0));
    model.rootItem()->insert(100, new PropertyItem("high", 0));
    model.rootItem()->insert(2, new PropertyItem("mid", 0));
    QCOMPARE(log, QStringList({"insert? root 0-0", "inserted root 0-0", "insert? root 4-4",
                               "inserted root 4-4", "insert? root 2-2", "inserted root 2-2"}));
    QCOMPARE(names(model.rootItem()), QStringList({"low", "a", "mid", "b", "c", "high"}));

    log.clear();
    PropertyItem stranger("stranger", 0);
    model.rootItem()->remove(&stranger);
    model.rootItem()->remove(nullptr);
    QVERIFY(log.isEmpty());
    QCOMPARE(model.rowCount(), 6);

    PropertyItem *b = model.rootItem()->children().at(3);
    model.rootItem()->remove(b);
    QCOMPARE(log, QStringList({"remove? root 3-3", "removed root 3-3"}));
    QVERIFY(!b->parent() && !b->model() && !b->index().isValid());
    QCOMPARE(names(model.rootItem()), QStringList({"low", "a", "mid", "c", "high"}));
    delete b;
    QCOMPARE(checkTree(model), QString());
}

void tst_PropertyItem::nestedInsertsAndRemoves()
{
    PropertyItemModel model;
    QStringList log;
    recordSignals(&model, &log);

    auto *group = new CountedItem("group");
    auto *child = new CountedItem("child");
    group->append(child);
    group->append(new CountedItem("sibling"));
    child->append(new CountedItem("grandchild"));
    model.append(group);
    QCOMPARE(log, QStringList({"insert? root 0-0", "inserted root 0-0"}));
    QCOMPARE(model.rowCount(group->valueIndex()), 2); // the column is not looked at
    QCOMPARE(checkTree(model), QString());

    log.clear();
    child->insert(0, new CountedItem("first"));
    QCOMPARE(log, QStringList({"insert? child 0-0", "inserted child 0-0"}));
    QCOMPARE(checkTree(model), QString());

    // Removing detaches the whole subtree from the model.
    log.clear();
    group->remove(child);
    QCOMPARE(log, QStringList({"remove? group 0-0", "removed group 0-0"}));
    for (const PropertyItem *item : child->children())
        QVERIFY(!item->model() && item->parent() == child);
    QCOMPARE(checkTree(model), QString());
    delete child;
    QCOMPARE(CountedItem::alive, 2);
}

void tst_PropertyItem::moveBetweenParentsOfOneModel()
{
    PropertyItemModel model;
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    auto *moving = new CountedItem("moving");
    auto *to = new CountedItem("to");
    model.append(new CountedItem("first"));
    model.append(moving);
    model.append(to);
    moving->append(new CountedItem("inner"));
    to->append(new CountedItem("stays"));
    const QPersistentModelIndex toIndex = to->index();
    const QPersistentModelIndex proxyTo = proxy.index(2, 0);
    QCOMPARE(proxy.rowCount(proxyTo), 1);
    QStringList log;
    recordSignals(&model, &log);

    // The old parent announces the removal before the new parent announces the insertion, so
    // the new parent's index (one row up by then) is current in every announcement.
    to->append(moving);
    QCOMPARE(log, QStringList({"remove? root 1-1", "removed root 1-1", "insert? to 1-1",
                               "inserted to 1-1"}));
    QCOMPARE(names(model.rootItem()), QStringList({"first", "to"}));
    QCOMPARE(names(to), QStringList({"stays", "moving"}));
    QCOMPARE(moving->parent(), to);
    QCOMPARE(moving->children().at(0)->model(), &model);
    QCOMPARE(checkTree(model), QString());
    QCOMPARE(QModelIndex(toIndex), to->index());
    QCOMPARE(proxy.mapToSource(proxyTo), to->index());
    QCOMPARE(proxy.rowCount(proxyTo), 2);

    log.clear();
    model.rootItem()->insert(1, moving);
    QCOMPARE(log, QStringList({"remove? to 1-1", "removed to 1-1", "insert? root 1-1",
                               "inserted root 1-1"}));
    QCOMPARE(names(model.rootItem()), QStringList({"first", "moving", "to"}));
    QCOMPARE(checkTree(model), QString());
    QCOMPARE(proxy.mapToSource(proxyTo), to->index());
    QCOMPARE(proxy.rowCount(), 3);
    QCOMPARE(proxy.rowCount(proxyTo), 1);
}

void tst_PropertyItem::moveBetweenModels()
{
    PropertyItemModel first;
    PropertyItemModel second;
    QAbstractItemModelTester firstTester(&first);
    QAbstractItemModelTester secondTester(&second);
    QStringList firstLog, secondLog;
    recordSignals(&first, &firstLog);
    recordSignals(&second, &secondLog);

    auto *a = new CountedItem("a");
    first.append(a);
    first.append(new CountedItem("b"));
    second.append(new CountedItem("c"));
    firstLog.clear();
    secondLog.clear();

    second.rootItem()->insert(0, a);
    QCOMPARE(firstLog, QStringList({"remove? root 0-0", "removed root 0-0"}));
    QCOMPARE(secondLog, QStringList({"insert? root 0-0", "inserted root 0-0"}));
    QCOMPARE(a->model(), &second);
    QCOMPARE(names(first.rootItem()), QStringList("b"));
    QCOMPARE(names(second.rootItem()), QStringList({"a", "c"}));

    // A detached tree takes the model all the way down; announcements then reach it. Nested
    // trees are checked by the walk, not by the model tester.
    PropertyItem *tree = new CountedItem("tree");
    auto *leaf = new CountedItem("leaf");
    tree->append(leaf);
    PropertyItemModel third;
    third.append(tree);
    QCOMPARE(leaf->model(), &third);
    QSignalSpy changed(&third, &QAbstractItemModel::dataChanged);
    leaf->setValue(1, false);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), third.index(0, 1, tree->index()));

    // On to another model, with its subtree.
    PropertyItemModel fourth;
    fourth.append(tree);
    QCOMPARE(leaf->model(), &fourth);
    QCOMPARE(third.rowCount(), 0);
    QCOMPARE(checkTree(fourth), QString());
}

void tst_PropertyItem::childOfTheSameItem()
{
    PropertyItemModel model;
    QAbstractItemModelTester tester(&model);
    auto *a = new CountedItem("a");
    model.append(a);
    model.append(new CountedItem("b"));
    model.append(new CountedItem("c"));
    QStringList log;
    recordSignals(&model, &log);

    // Appending a child again moves it to the end; it is never listed twice.
    model.append(a);
    QCOMPARE(names(model.rootItem()), QStringList({"b", "c", "a"}));
    model.rootItem()->insert(-1, a);
    QCOMPARE(names(model.rootItem()), QStringList({"a", "b", "c"}));
    model.rootItem()->insert(1, a);
    QCOMPARE(names(model.rootItem()), QStringList({"b", "a", "c"}));
    model.rootItem()->insert(1, a);
    QCOMPARE(log, QStringList({"moved root 0-0 to 3", "moved root 2-2 to 0",
                               "moved root 0-0 to 2"}));
    QCOMPARE(checkTree(model), QString());

    // Detached, the same holds without announcements.
    PropertyItem parent;
    auto *x = new CountedItem("x");
    parent.append(x);
    parent.append(new CountedItem("y"));
    parent.append(x);
    parent.insert(100, x);
    QCOMPARE(names(&parent), QStringList({"y", "x"}));
}

void tst_PropertyItem::refusedChildren()
{
    PropertyItemModel model;
    PropertyItemModel other;
    auto *top = new CountedItem("top");
    auto *leaf = new CountedItem("leaf");
    model.append(top);
    top->append(leaf);
    QStringList log;
    recordSignals(&model, &log);

    // Each of these would make an item its own ancestor or give a root a second owner.
    const QRegularExpression refusal("^PropertyItem::insert: Ignoring item ");
    for (int i = 0; i < 5; ++i)
        QTest::ignoreMessage(QtWarningMsg, refusal);
    top->append(top);
    leaf->append(top);
    top->insert(0, nullptr);
    top->append(other.rootItem());
    top->append(model.rootItem());
    QVERIFY(log.isEmpty());
    QCOMPARE(names(top), QStringList("leaf"));
    QCOMPARE(other.rootItem()->model(), &other);
    QVERIFY(!other.rootItem()->parent());
    QCOMPARE(checkTree(model), QString());
}

void tst_PropertyItem::copiesOwnNoChildren()
{
    auto *original = new CountedItem("original", 1);
    original->setData("tip", Qt::ToolTipRole);
    original->setEditable(false);
    original->append(new CountedItem("child"));
    PropertyItemModel model;
    model.append(original);

    auto *copy = new CountedItem(*original);
    QCOMPARE(copy->name(), QString("original"));
    QCOMPARE(copy->value(), QVariant(1));
    QCOMPARE(copy->data(Qt::ToolTipRole), QVariant("tip"));
    QVERIFY(!copy->isEditable());
    QVERIFY(copy->children().isEmpty());
    QVERIFY(!copy->parent() && !copy->model());

    // Assignment keeps the target's place and children, and announces the new value.
    auto *target = new CountedItem("target", 2);
    model.append(target);
    target->append(new CountedItem("own"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    *target = *copy;
    QCOMPARE(changed.count(), 1);
    QCOMPARE(target->name(), QString("original"));
    QCOMPARE(target->value(), QVariant(1));
    QCOMPARE(names(target), QStringList("own"));
    QCOMPARE(target->model(), &model);
    QCOMPARE(checkTree(model), QString());

    // Each child is deleted once: with the original, not with the copy.
    delete copy;
    QCOMPARE(CountedItem::alive, 4);
    model.rootItem()->remove(original);
    delete original;
    QCOMPARE(CountedItem::alive, 2);
}

void tst_PropertyItem::indexes()
{
    PropertyItemModel model;
    auto *top = new PropertyItem("top", 0);
    auto *child = new PropertyItem("child", 0);
    auto *grandchild = new PropertyItem("grandchild", 0);
    model.append(new PropertyItem("first", 0));
    model.append(top);
    top->append(child);
    child->append(grandchild);

    for (int row : {-1, 2, 1 << 30}) {
        for (int column : {-1, 0, 2}) {
            const bool inside = row == 1 && column == 0;
            QCOMPARE(model.index(row, column).isValid(), inside);
        }
    }
    QVERIFY(model.index(1, 1).isValid());
    QVERIFY(!model.index(1, 0, model.index(0, 0)).isValid());

    QCOMPARE(model.index(1, 0), top->index());
    QCOMPARE(model.index(1, 1), top->valueIndex());
    QCOMPARE(model.itemFromIndex(top->valueIndex()), top);
    QCOMPARE(model.itemFromIndex(QModelIndex()), model.rootItem());
    QVERIFY(!model.parent(top->index()).isValid());
    QVERIFY(!model.parent(QModelIndex()).isValid());
    QCOMPARE(model.parent(grandchild->index()), child->index());
    QCOMPARE(model.parent(grandchild->valueIndex()), child->index());
    QCOMPARE(model.rowCount(child->valueIndex()), 1);

    QVERIFY(!model.nameIndexFromItem(nullptr).isValid());
    QVERIFY(!model.nameIndexFromItem(model.rootItem()).isValid());
    const PropertyItem detached("detached", 0);
    QVERIFY(!model.valueIndexFromItem(&detached).isValid());

    // Indexes of another model name no item here.
    PropertyItemModel other;
    other.append(new PropertyItem("foreign", 0));
    QVERIFY(!model.itemFromIndex(other.index(0, 0)));
    QVERIFY(!model.nameIndexFromItem(other.rootItem()->children().at(0)).isValid());
    QCOMPARE(model.rowCount(other.index(0, 0)), 0);
}

void tst_PropertyItem::dataFlagsAndBuddy()
{
    PropertyItemModel model;
    QAbstractItemModelTester tester(&model);
    auto *item = new PropertyItem("name", "value");
    item->setData("tip", Qt::ToolTipRole);
    model.append(new PropertyItem("first", 0));
    model.append(item);
    const QModelIndex name = item->index();
    const QModelIndex value = item->valueIndex();

    QCOMPARE(model.data(name), QVariant("name"));
    QCOMPARE(model.data(value), QVariant("value"));
    QCOMPARE(model.data(name, Qt::ToolTipRole), QVariant("tip"));
    QCOMPARE(model.data(value, Qt::ToolTipRole), QVariant("tip"));
    QVERIFY(!model.data(name, Qt::EditRole).isValid()); // answered by the item, not the name
    QVERIFY(!model.data(QModelIndex()).isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(!model.setData(name, "other", Qt::EditRole));
    QVERIFY(!model.setData(QModelIndex(), "other", Qt::EditRole));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(item->name(), QString("name"));
    QCOMPARE(item->value(), QVariant("value"));
    QVERIFY(model.setData(value, "edited", Qt::EditRole));
    QCOMPARE(item->value(), QVariant("edited"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), value);
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), value);

    const Qt::ItemFlags base = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    QCOMPARE(model.flags(name), base);
    QCOMPARE(model.flags(value), base | Qt::ItemIsEditable);
    item->setEditable(false);
    QCOMPARE(model.flags(value), base);
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);

    QCOMPARE(model.buddy(name), value);
    QCOMPARE(model.buddy(value), value);
    QVERIFY(!model.buddy(QModelIndex()).isValid());
}

void tst_PropertyItem::headers()
{
    PropertyItemModel model;
    QCOMPARE(model.headerData(0, Qt::Horizontal), QVariant("名称"));
    QCOMPARE(model.headerData(1, Qt::Horizontal), QVariant("值"));
    QCOMPARE(model.headerData(0, Qt::Vertical), QVariant(1)); // the base class's answer
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    ContextTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QCOMPARE(model.headerData(0, Qt::Horizontal), QVariant("PropertyItemModel:名称"));
    QCOMPARE(model.headerData(1, Qt::Horizontal), QVariant("PropertyItemModel:值"));
    QCOMPARE(model.headerData(5, Qt::Horizontal), QVariant("PropertyItemModel:值"));
    QVERIFY(QCoreApplication::removeTranslator(&translator));
}

void tst_PropertyItem::revertReachesEveryItem()
{
    PropertyItemModel model;
    auto *a = new CountedItem("a");
    auto *b = new CountedItem("b");
    model.append(a);
    model.append(b);
    a->append(new CountedItem("a1"));
    a->children().at(0)->append(new CountedItem("a11"));
    b->append(new CountedItem("b1"));

    model.revert();
    QCOMPARE(CountedItem::log, QStringList({"reset a", "reset a1", "reset a11", "reset b",
                                            "reset b1"}));
}

void tst_PropertyItem::destructionDeletesEveryItem()
{
    auto *model = new PropertyItemModel;
    auto *a = new CountedItem("a");
    model->append(a);
    a->append(new CountedItem("a1"));
    a->children().at(0)->append(new CountedItem("a11"));
    model->append(new CountedItem("b"));
    auto *removed = new CountedItem("removed");
    model->append(removed);
    model->rootItem()->remove(removed);
    QCOMPARE(CountedItem::alive, 5);

    delete model;
    QCOMPARE(CountedItem::alive, 1); // a removed item belongs to its caller
    delete removed;
}

QTEST_GUILESS_MAIN(tst_PropertyItem)
#include "tst_propertyitem.moc"
