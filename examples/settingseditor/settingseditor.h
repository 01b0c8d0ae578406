#ifndef SETTINGSEDITOR_H
#define SETTINGSEDITOR_H

#include <QtWidgets/QWidget>

class PropertyItem;
class PropertyItemModel;
class QPushButton;
class QTreeView;

// A window that edits a few typed settings of the Profile in a two-column tree. Edits are kept
// until Save writes them to the profile table; Revert brings back what is stored.
class SettingsEditor : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsEditor(QWidget *parent = nullptr);

private:
    void save();
    void updateButtons();

    PropertyItemModel *m_model;
    QTreeView *m_view;
    QPushButton *m_saveButton;
    QPushButton *m_revertButton;
};

#endif // SETTINGSEDITOR_H
