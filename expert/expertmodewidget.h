#ifndef EXPERTMODEWIDGET_H
#define EXPERTMODEWIDGET_H

#include <QMap>
#include <QVariant>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

// The expert page: the maximum integrity level at the next boot and the
// detailed protection and isolation settings.
class ExpertModeWidget : public QWidget
{
    Q_OBJECT
public:
    ExpertModeWidget(QPushButton *backButton, QWidget *parent);
    ~ExpertModeWidget() override;

    void setData(const QMap<QString, QVariant> &map);
    QMap<QString, QVariant> getData() const;

    unsigned int chosenIlev() const;
    void setChosenILev(unsigned int level);
    Qt::CheckState protectFsState() const;
    void setProtectFsState(Qt::CheckState state);
    Qt::CheckState servicesIsolatedState() const;
    void setServicesIsolatedState(Qt::CheckState state);
    void selectServices();

Q_SIGNALS:
    void contentChanged();
    void goBackRequest();

private:
    void fillLevelComboBox();
    void showCustomLevel(bool shown);

    QPushButton *goBackButton;
    QLabel *labelMicLevel;
    QComboBox *comboBoxLevel;
    QLabel *labelCustomLevel;
    QSpinBox *spinBoxCustomLevel;
    QCheckBox *protectFsCheckBox;
    QCheckBox *servicesIsolatedCheckBox;
};

#endif
