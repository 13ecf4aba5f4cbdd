#include "about_dlg.h"

#include "strings.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(strings::kAboutTitle));
    auto *grid = new QGridLayout(this);
    auto *icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/deve/deve.png")).pixmap(32, 32));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(QString::fromUtf8(strings::kAboutVersion)), 0, 1);
    grid->addWidget(new QLabel(QString::fromUtf8(strings::kAboutText)), 1, 1);
    auto *ok = new QPushButton(QString::fromUtf8(strings::kOk));
    ok->setAccessibleName(QString::fromUtf8(strings::kOk));
    ok->setAccessibleDescription(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
}
