// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef EXPERTMODEWIDGET_H
#define EXPERTMODEWIDGET_H

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <settingvalues.h>

class ExceptionModel;
class FsConfigModel;
class MicFileDialogDelegate;
class MicFileSystemModel;
class PathFilterProxyModel;
class QPushButton;
class ServiceModel;
class SharedSettings;
class Ui_ExpertModeWidget;

// The expert page: the maximum integrity level at the next boot, the rules
// and exceptions of the file-system integrity configuration as a tree and as
// tables, and the isolation of single services.
class ExpertModeWidget : public QWidget
{
    Q_OBJECT
public:
    // `shared`: what the page shows of the settings the general page shows
    // too; without it the page holds them itself.
    ExpertModeWidget(QPushButton *backButton, QWidget *parent, SharedSettings *shared = nullptr);
    ~ExpertModeWidget() override;

    // A read's reply: as it came over the wire, or read from it.
    void setData(const QVariantMap &map);
    void setData(const Mic::Settings::ReadReply &settings);
    // Whether the edits can be saved; *problem says why not.
    bool isComplete(QString *problem) const;
    // Every setting the page shows, the protection and isolation as their
    // boxes show them (partly too), the rules edited since the read.
    Mic::Settings::Change getData() const;

    unsigned int chosenIlev() const;
    void setChosenILev(unsigned int level);
    void selectServices();
    bool isTabHasDefaultItems(int tab) const;
    void disableButtonForDefaultItems() const;
    void showDefaultRules();

Q_SIGNALS:
    void contentChanged();
    // The administrator chose a maximum level (chosenIlev() tells which).
    void levelChosen();
    void goBackRequest();

private Q_SLOTS:
    void showWarning(const QString &text);
    void on_pushButtonOpenConfig_clicked();
    void on_pushButtonOpenConfigExc_clicked();
    void on_pushButtonDefaultItems_clicked();
    void on_pushButtonAdd_clicked();
    void on_pushButtonRemove_clicked();
    void on_pushButtonClear_clicked();
    void on_pushButtonAddExc_clicked();
    void on_pushButtonRemoveExc_clicked();
    void on_pushButtonClearExc_clicked();

private:
    void showConfiguration(const Mic::Settings::ReadReply &settings);
    void nameIconButtons();
    void setUpViews();
    void fillLevelComboBox();
    void connectReactions();
    void addShortcuts();
    void setUpFilters();
    void addUsedLevelsToFilter();
    void fillFilterLevelComboBox();
    void applyRuleFilter();
    void applyExceptionFilter();
    void enableClearButtons() const;
    void setUpPathField();
    bool showPathInTree(const QString &text);
    void openTreeAtRules(const QHash<QString, QVariant> &rules);
    void openConfigFile();

    Ui_ExpertModeWidget *ui;
    SharedSettings *shared;
    FsConfigModel *ruleModel;
    MicFileSystemModel *treeModel;
    ExceptionModel *exceptionModel;
    // What the tables show of the rules and exceptions.
    PathFilterProxyModel *shownRules;
    PathFilterProxyModel *shownExceptionRows;
    ServiceModel *serviceModel;
    MicFileDialogDelegate *rulePathDelegate;
    MicFileDialogDelegate *exceptionPathDelegate;
    QHash<QString, QVariant> defaultItems;
    // The rules and exceptions the models were last reset with.
    QHash<QString, QVariant> shownItems;
    QStringList shownExceptions;
    // The configuration file the helper reads, as its last reply named it.
    QString configPath;
    QStringList defaultExceptions;
    // The path typed above the tree, shown again when the folders on its
    // way have been read.
    QString pathToShow;
    // Whether the tree was opened where the rules are, which it is once.
    bool treeOpenedAtRules = false;
    // While an edit of the tree or the table is handed to the other.
    bool syncingRules = false;
    // While the level read is shown: no choice of the administrator.
    bool showingLevel = false;
};

#endif
