// "MAC Address" and "efuse".
#include "controls.h"
#include "panels.h"

#include "deve/resource.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QGroupBox *buildMacPanel(Controls &c) {
    QGroupBox *group = makeGroup(QStringLiteral("MAC Address"));
    auto *grid = new QGridLayout(group);
    auto *bytes = new QHBoxLayout;
    constexpr int ids[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2,
                           IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};
    int index = 0;
    for (int id : ids) {
        QLineEdit *edit = makeEdit(c, id, QStringLiteral("MAC byte %1").arg(index++));
        edit->setMaximumWidth(36);
        bytes->addWidget(edit);
    }
    grid->addLayout(bytes, 0, 0, 1, 2);
    grid->addWidget(makeStatic(c, IDC_MAC_TEXT), 1, 0, 1, 2);
    grid->addWidget(makeButton(c, IDC_MAC_READ, QStringLiteral("MAC Read")), 2, 0);
    grid->addWidget(makeButton(c, IDC_MAC_WRITE, QStringLiteral("MAC Write")), 2, 1);
    return group;
}

QGroupBox *buildEfusePanel(Controls &c) {
    QGroupBox *group = makeGroup(QStringLiteral("efuse"));
    auto *grid = new QGridLayout(group);
    QComboBox *item = makeList(c, IDC_EFUSE_ITEM, QStringLiteral("Item"));
    grid->addWidget(makeLabel(QStringLiteral("Item"), item), 0, 0);
    grid->addWidget(item, 0, 1);

    // The value labels change with the item; each edit's accessible name
    // follows its label, or is this name while the label is empty.
    QLineEdit *first = makeEdit(c, IDC_EFUSE_FIRST, QStringLiteral("5200 PWR"));
    QLineEdit *second = makeEdit(c, IDC_EFUSE_SECOND, QStringLiteral("2400 PWR"));
    first->setProperty("unlabelledName", QStringLiteral("first value"));
    second->setProperty("unlabelledName", QStringLiteral("second value"));
    QLabel *firstLabel = makeStatic(c, IDC_EFUSE_FIRST_LABEL);
    QLabel *secondLabel = makeStatic(c, IDC_EFUSE_SECOND_LABEL);
    firstLabel->setText(QStringLiteral("5200 PWR"));
    secondLabel->setText(QStringLiteral("2400 PWR"));
    firstLabel->setBuddy(first);
    secondLabel->setBuddy(second);
    grid->addWidget(firstLabel, 1, 0);
    grid->addWidget(first, 1, 1);
    grid->addWidget(secondLabel, 2, 0);
    grid->addWidget(second, 2, 1);

    grid->addWidget(makeStatic(c, IDC_EFUSE_RESULT), 3, 0, 1, 2);
    grid->addWidget(makeStatic(c, IDC_EFUSE_RANGE), 4, 0, 1, 2);

    grid->addWidget(makeButton(c, IDC_EFUSE_WRITE, QStringLiteral("Efuse write")), 5, 0);
    grid->addWidget(makeButton(c, IDC_EFUSE_READ, QStringLiteral("Efuse read")), 5, 1);
    grid->setColumnStretch(1, 1);
    return group;
}
