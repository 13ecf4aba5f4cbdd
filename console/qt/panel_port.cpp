// "Port open" and "Reg W/R".
#include "controls.h"
#include "panels.h"

#include "deve/resource.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QGroupBox *buildPortPanel(Controls &c) {
    QGroupBox *group = makeGroup(QStringLiteral("Port open"));
    auto *grid = new QGridLayout(group);
    QComboBox *port = makeList(c, IDC_PORT, QStringLiteral("Port"));
    QComboBox *supply = makeList(c, IDC_SUPPLY, QStringLiteral("Supply"));
    grid->addWidget(makeLabel(QStringLiteral("Port"), port), 0, 0);
    grid->addWidget(port, 0, 1);
    grid->addWidget(makeLabel(QStringLiteral("Supply"), supply), 1, 0);
    grid->addWidget(supply, 1, 1);
    grid->addWidget(makeButton(c, IDC_OPEN, QStringLiteral("OPEN")), 0, 2);
    grid->addWidget(makeButton(c, IDC_CLOSE, QStringLiteral("CLOSE")), 1, 2);
    QLabel *status = makeStatic(c, IDC_PORT_STATUS);
    status->setMinimumWidth(90);
    grid->addWidget(status, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return group;
}

QGroupBox *buildRegisterPanel(Controls &c) {
    QGroupBox *group = makeGroup(QStringLiteral("Reg W/R"));
    auto *grid = new QGridLayout(group);
    QLineEdit *address = makeEdit(c, IDC_REG_ADDRESS, QStringLiteral("Address"));
    QLineEdit *value = makeEdit(c, IDC_REG_VALUE, QStringLiteral("Value"));
    grid->addWidget(makeLabel(QStringLiteral("Address"), address), 0, 0);
    grid->addWidget(address, 0, 1);
    grid->addWidget(makeLabel(QStringLiteral("Value"), value), 1, 0);
    grid->addWidget(value, 1, 1);
    grid->addWidget(makeButton(c, IDC_REG_WRITE, QStringLiteral("REG Write")), 0, 2);
    grid->addWidget(makeButton(c, IDC_REG_READ, QStringLiteral("REG Read")), 1, 2);
    grid->addWidget(makeStatic(c, IDC_READ_DATA), 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    return group;
}
