// "TX/RX control" and the hidden "Option" group of engineering controls.
#include "controls.h"
#include "panels.h"

#include "deve/resource.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QPushButton *button(Controls &c, int id, const char *caption) {
    return makeButton(c, id, QString::fromLatin1(caption));
}

}  // namespace

QGroupBox *buildTxRxPanel(Controls &c) {
    QGroupBox *group = makeGroup(QStringLiteral("TX/RX control"));
    auto *grid = new QGridLayout(group);
    auto *buttons = new QGridLayout;
    buttons->addWidget(button(c, IDC_TX_ON, "TX ON"), 0, 0);
    buttons->addWidget(button(c, IDC_TX_OFF, "TX OFF"), 0, 1);
    buttons->addWidget(button(c, IDC_RX_ON, "RX ON"), 1, 0);
    buttons->addWidget(button(c, IDC_RX_OFF, "RX OFF"), 1, 1);
    grid->addLayout(buttons, 0, 0, 2, 2);

    struct Count {
        int id;
        const char *label;
    };
    constexpr Count counts[] = {
        {IDC_TX_PKT, "TX Pkt"}, {IDC_ERR_PKT, "Err"}, {IDC_TOTAL_PKT, "Total"}, {IDC_PER, "PER"}};
    int line = 2;
    for (const Count &count : counts) {
        QLabel *value = makeStatic(c, count.id);
        grid->addWidget(makeLabel(QString::fromLatin1(count.label), value), line, 0);
        grid->addWidget(value, line, 1);
        ++line;
    }
    QLineEdit *offset = makeEdit(c, IDC_FREQ_OFFSET, QStringLiteral("Freq offset"));
    grid->addWidget(makeLabel(QStringLiteral("Freq offset"), offset), line, 0);
    grid->addWidget(offset, line++, 1);
    QLineEdit *pit = makeEdit(c, IDC_PIT, QStringLiteral("PIT(us)"));
    grid->addWidget(makeLabel(QStringLiteral("PIT(us)"), pit), line, 0);
    grid->addWidget(pit, line++, 1);
    QComboBox *dac = makeList(c, IDC_DAC, QStringLiteral("DAC"));
    grid->addWidget(makeLabel(QStringLiteral("DAC"), dac), line, 0);
    grid->addWidget(dac, line, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QGroupBox *buildOptionPanel(Controls &c) {
    QGroupBox *group = makeGroup(c, IDC_OPTION_GROUP, QStringLiteral("Option"));
    auto *grid = new QGridLayout(group);

    grid->addWidget(button(c, IDC_DPD, "DPD ON/OFF"), 0, 0);
    grid->addWidget(makeStatic(c, IDC_DPD_STATUS), 0, 1);
    QComboBox *brate = makeList(c, IDC_BRATE_GAIN, QStringLiteral("11b gain"));
    // The list's label shows and hides with the list.
    grid->addWidget(makeLabel(QStringLiteral("11b gain"), brate), 0, 2);
    grid->addWidget(brate, 0, 3);

    grid->addWidget(button(c, IDC_LOAD_SCRIPT, "Load script"), 1, 0);
    auto *script = new FileBrowseEdit;
    c.add(IDC_SCRIPT_PATH, script);
    script->edit()->setAccessibleName(QStringLiteral("Script file"));
    script->edit()->setAccessibleDescription(QString::number(IDC_SCRIPT_PATH));
    grid->addWidget(script, 1, 1, 1, 3);

    grid->addWidget(button(c, IDC_SAR, "SAR"), 2, 0);
    grid->addWidget(makeStatic(c, IDC_SAR_CODE), 2, 1);

    QLineEdit *a62c = makeEdit(c, IDC_A62C_VALUE, QStringLiteral("A62C value"));
    QLineEdit *a630 = makeEdit(c, IDC_A630_VALUE, QStringLiteral("A630 value"));
    grid->addWidget(a62c, 3, 0);
    grid->addWidget(button(c, IDC_A62C_WRITE, "A62C_W"), 3, 1);
    grid->addWidget(a630, 3, 2);
    grid->addWidget(button(c, IDC_A630_WRITE, "A630_W"), 3, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return group;
}
