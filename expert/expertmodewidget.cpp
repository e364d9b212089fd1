#include "expertmodewidget.h"

#include <utils.h>

#include <KLocalizedString>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace
{
void checkPartialOnClick(QCheckBox *box)
{
    if (box->checkState() == Qt::PartiallyChecked) {
        box->setCheckState(Qt::Checked);
    }
}
}

ExpertModeWidget::ExpertModeWidget(QPushButton *backButton, QWidget *parent)
    : QWidget(parent)
    , goBackButton(new QPushButton(QIcon::fromTheme(QStringLiteral("go-previous")), i18n("Back to base settings"), this))
    , labelMicLevel(new QLabel(this))
    , comboBoxLevel(new QComboBox(this))
    , labelCustomLevel(new QLabel(i18n("Custom level:"), this))
    , spinBoxCustomLevel(new QSpinBox(this))
    , protectFsCheckBox(new QCheckBox(i18n("Enabled"), this))
    , servicesIsolatedCheckBox(new QCheckBox(i18n("Start services on isolated level"), this))
{
    setObjectName(QStringLiteral("ExpertModeWidget"));
    goBackButton->setObjectName(QStringLiteral("goBackButton"));
    labelMicLevel->setObjectName(QStringLiteral("labelMicLevel"));
    comboBoxLevel->setObjectName(QStringLiteral("comboBoxLevel"));
    labelCustomLevel->setObjectName(QStringLiteral("labelCustomLevel"));
    spinBoxCustomLevel->setObjectName(QStringLiteral("spinBoxCustomLevel"));
    protectFsCheckBox->setObjectName(QStringLiteral("protectFsCheckBox"));
    servicesIsolatedCheckBox->setObjectName(QStringLiteral("servicesIsolatedCheckBox"));
    spinBoxCustomLevel->setRange(0, 255);
    protectFsCheckBox->setTristate(true);
    servicesIsolatedCheckBox->setTristate(true);

    auto *form = new QFormLayout;
    form->addRow(i18n("Maximum integrity level (current):"), labelMicLevel);
    form->addRow(i18n("Maximum integrity level (in boot):"), comboBoxLevel);
    form->addRow(labelCustomLevel, spinBoxCustomLevel);
    form->addRow(i18n("File system integrity (fs-ilev.conf):"), protectFsCheckBox);
    form->addRow(i18n("Services:"), servicesIsolatedCheckBox);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(goBackButton, 0, Qt::AlignLeft);
    layout->addLayout(form);
    layout->addStretch();

    fillLevelComboBox();

    connect(comboBoxLevel, QOverload<int>::of(&QComboBox::activated), this, &ExpertModeWidget::contentChanged);
    connect(comboBoxLevel, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        showCustomLevel(index == comboBoxLevel->count() - 1);
    });
    connect(spinBoxCustomLevel, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int value) {
        spinBoxCustomLevel->setSuffix(QStringLiteral(" (%1)").arg(value, 8, 2, QLatin1Char('0')));
    });
    connect(protectFsCheckBox, &QCheckBox::clicked, this, [this] {
        checkPartialOnClick(protectFsCheckBox);
        Q_EMIT contentChanged();
    });
    connect(servicesIsolatedCheckBox, &QCheckBox::clicked, this, [this] {
        checkPartialOnClick(servicesIsolatedCheckBox);
        Q_EMIT contentChanged();
    });
    showCustomLevel(false);

    if (backButton) {
        connect(backButton, &QPushButton::clicked, this, &ExpertModeWidget::goBackRequest);
        goBackButton->hide();
    } else {
        connect(goBackButton, &QPushButton::clicked, this, &ExpertModeWidget::goBackRequest);
    }
}

ExpertModeWidget::~ExpertModeWidget() = default;

void ExpertModeWidget::fillLevelComboBox()
{
    const QList<Mic::Level> levels = Mic::Utils::allLevels();
    for (const Mic::Level &level : levels) {
        if (Mic::Utils::isGoodLevel(level.value) && Mic::Utils::isLevelCoverUnderlyingLevels(level.value)) {
            comboBoxLevel->addItem(level.name, QVariant::fromValue<uint>(level.value));
        }
    }
    comboBoxLevel->addItem(i18n("<Other>"), QVariant());
}

void ExpertModeWidget::showCustomLevel(bool shown)
{
    labelCustomLevel->setVisible(shown);
    spinBoxCustomLevel->setVisible(shown);
}

void ExpertModeWidget::setData(const QMap<QString, QVariant> &map)
{
    labelMicLevel->setText(Mic::Utils::currentMaxLevel().name);
    switch (map.value(QStringLiteral("micFsStatus")).toInt()) {
    case 2:
        protectFsCheckBox->setCheckState(Qt::Checked);
        break;
    case 3:
        protectFsCheckBox->setCheckState(Qt::PartiallyChecked);
        break;
    case 4:
        protectFsCheckBox->setCheckState(Qt::Unchecked);
        break;
    }
    setChosenILev(map.value(QStringLiteral("micFutureLevel")).toUInt());
    servicesIsolatedCheckBox->setCheckState(static_cast<Qt::CheckState>(qBound(0, map.value(QStringLiteral("servicesIsolated")).toInt(), 2)));
}

QMap<QString, QVariant> ExpertModeWidget::getData() const
{
    QMap<QString, QVariant> map;
    map.insert(QStringLiteral("micFutureLevel"), QVariant::fromValue<uint>(chosenIlev()));
    map.insert(QStringLiteral("micFsStatus"), protectFsCheckBox->checkState() != Qt::Unchecked ? 2 : 4);
    map.insert(QStringLiteral("servicesIsolatedStatus"), servicesIsolatedCheckBox->checkState() == Qt::Checked ? 2 : 4);
    return map;
}

unsigned int ExpertModeWidget::chosenIlev() const
{
    if (comboBoxLevel->currentIndex() == comboBoxLevel->count() - 1) {
        return static_cast<unsigned int>(spinBoxCustomLevel->value());
    }
    return comboBoxLevel->currentData().toUInt();
}

void ExpertModeWidget::setChosenILev(unsigned int level)
{
    int index = comboBoxLevel->findData(QVariant::fromValue<uint>(level), Qt::UserRole, Qt::MatchExactly);
    if (index < 0) {
        index = comboBoxLevel->count() - 1;
    }
    comboBoxLevel->setCurrentIndex(index);
    spinBoxCustomLevel->setValue(static_cast<int>(qMin(level, 255u)));
}

Qt::CheckState ExpertModeWidget::protectFsState() const
{
    return protectFsCheckBox->checkState();
}

void ExpertModeWidget::setProtectFsState(Qt::CheckState state)
{
    protectFsCheckBox->setCheckState(state);
}

Qt::CheckState ExpertModeWidget::servicesIsolatedState() const
{
    return servicesIsolatedCheckBox->checkState();
}

void ExpertModeWidget::setServicesIsolatedState(Qt::CheckState state)
{
    servicesIsolatedCheckBox->setCheckState(state);
}

void ExpertModeWidget::selectServices()
{
    servicesIsolatedCheckBox->setFocus();
}
