#include "settingseditor.h"
#include "settingitem.h"

#include "propertyitemmodel.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTreeView>
#include <QtWidgets/QVBoxLayout>

namespace {

template<typename T>
void addSetting(PropertyItem *group, const QString &label, T (Profile::*getter)(const T &),
                void (Profile::*setter)(const T &, bool), const T &defaultValue)
{
    group->append(new SettingItem<T>(label, getter, setter, defaultValue));
}

// Calls f on every Setting of the tree below item.
template<typename F>
void forEachSetting(PropertyItem *item, F f)
{
    for (PropertyItem *child : item->children()) {
        if (child->type() == Setting::Type)
            f(static_cast<Setting *>(child));
        forEachSetting(child, f);
    }
}

} // namespace

SettingsEditor::SettingsEditor(QWidget *parent)
    : QWidget(parent)
    , m_model(new PropertyItemModel(this))
    , m_view(new QTreeView(this))
{
    setWindowTitle(tr("工作站设置"));

    auto *station = new SettingGroup(tr("工作站"));
    m_model->append(station);
    addSetting(station, tr("医院名称"), &Profile::hospital, &Profile::set_hospital, QString());
    addSetting(station, tr("触摸屏"), &Profile::is_touch_screen, &Profile::set_is_touch_screen,
               false);

    auto *samples = new SettingGroup(tr("样本编号"));
    m_model->append(samples);
    addSetting(samples, tr("急诊样本前缀"), &Profile::statim_sample_prefix,
               &Profile::set_statim_sample_prefix, QStringLiteral("S"));
    addSetting(samples, tr("质控样本前缀"), &Profile::qc_sample_prefix,
               &Profile::set_qc_sample_prefix, QStringLiteral("QC"));

    auto *colours = new SettingGroup(tr("状态颜色"));
    m_model->append(colours);
    addSetting(colours, tr("等待"), &Profile::color_of_waiting, &Profile::set_color_of_waiting,
               QColor(Qt::lightGray));
    addSetting(colours, tr("加样"), &Profile::color_of_dispensing,
               &Profile::set_color_of_dispensing, QColor(Qt::yellow));
    addSetting(colours, tr("孵育"), &Profile::color_of_incubating,
               &Profile::set_color_of_incubating, QColor(Qt::cyan));
    addSetting(colours, tr("分析"), &Profile::color_of_analysing, &Profile::set_color_of_analysing,
               QColor(Qt::green));

    auto *qc = new SettingGroup(tr("质控"));
    m_model->append(qc);
    addSetting(qc, tr("质控文件数"), &Profile::max_qc_file, &Profile::set_max_qc_file, 30);
    addSetting(qc, tr("质控方法"), &Profile::qc_method, &Profile::set_qc_method, 0);

    m_view->setModel(m_model);
    m_view->setAlternatingRowColors(true);
    m_view->setEditTriggers(QAbstractItemView::AllEditTriggers);
    m_view->expandAll();
    m_view->resizeColumnToContents(0);
    m_view->setColumnWidth(0, m_view->columnWidth(0) + 3 * fontMetrics().averageCharWidth());

    auto *buttons = new QDialogButtonBox(this);
    m_saveButton = buttons->addButton(tr("保存"), QDialogButtonBox::AcceptRole);
    m_revertButton = buttons->addButton(tr("还原"), QDialogButtonBox::ResetRole);
    connect(m_saveButton, &QPushButton::clicked, this, &SettingsEditor::save);
    connect(m_revertButton, &QPushButton::clicked, m_model, &PropertyItemModel::revert);
    connect(m_model, &PropertyItemModel::dataChanged, this, &SettingsEditor::updateButtons);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(buttons);
    updateButtons();
    resize(460, 440);
}

void SettingsEditor::save()
{
    forEachSetting(m_model->rootItem(), [](Setting *setting) {
        if (setting->isModified())
            setting->save();
    });
    // Saved values are the stored ones now: refresh the marks of modified rows.
    m_model->revert();
}

void SettingsEditor::updateButtons()
{
    bool modified = false;
    forEachSetting(m_model->rootItem(), [&modified](Setting *setting) {
        modified = modified || setting->isModified();
    });
    m_saveButton->setEnabled(modified);
    m_revertButton->setEnabled(modified);
}
