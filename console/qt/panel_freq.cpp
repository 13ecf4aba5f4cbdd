// "Freq/Rate setting", with the chip identifier.
#include "controls.h"
#include "panels.h"

#include "deve/resource.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

QGroupBox *buildFreqRatePanel(Controls &c) {
    QGroupBox *group = makeGroup(QStringLiteral("Freq/Rate setting"));
    auto *grid = new QGridLayout(group);
    struct Row {
        int id;
        const char *label;
    };
    constexpr Row rows[] = {
        {IDC_XTAL, "Xtal"}, {IDC_BAND, "2G/5G"}, {IDC_CHANNEL, "Channel"},
        {IDC_MODE, "Mode"}, {IDC_RATE, "Rate"},  {IDC_RF_GAIN, "RF Gain"},
    };
    int line = 0;
    for (const Row &row : rows) {
        const QString label = QString::fromLatin1(row.label);
        QComboBox *list = makeList(c, row.id, label);
        list->setMinimumContentsLength(row.id == IDC_CHANNEL ? 13 : 9);
        grid->addWidget(makeLabel(label, list), line, 0);
        grid->addWidget(list, line, 1);
        ++line;
    }
    QLabel *chip = makeStatic(c, IDC_CHIP_ID);
    grid->addWidget(makeLabel(QStringLiteral("Chip ID"), chip), line, 0);
    grid->addWidget(chip, line, 1);
    grid->setColumnStretch(1, 1);
    return group;
}
