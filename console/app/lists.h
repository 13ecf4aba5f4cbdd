// Filling the dialog's drop-down lists from the core's selection tables.
#pragma once

#include "deve/tables.h"

#include <QComboBox>
#include <QString>

#include <algorithm>
#include <string>
#include <vector>

// Empties the list, inserts the labels at positions 0, 1, ... and selects
// `selected` (-1 for no selection). Selecting from the program does not run
// the list's handler.
inline void fillList(QComboBox *list, const std::vector<std::string> &labels, int selected) {
    list->clear();
    int position = 0;
    for (const std::string &label : labels) {
        list->insertItem(position++, QString::fromStdString(label));
    }
    list->setCurrentIndex(selected);
}

template <std::size_t N>
void fillList(QComboBox *list, const deve::Choices<N> &choices) {
    fillList(list, std::vector<std::string>(choices.labels.begin(), choices.labels.end()), choices.initial);
}

// Selects the item with this text, if there is one.
inline void selectText(QComboBox *list, const std::string &text) {
    list->setCurrentIndex(list->findText(QString::fromStdString(text)));
}

// The rate labels of a mode as the rate list keeps them: sorted by text.
inline std::vector<std::string> sortedRateLabels(int mode) {
    std::vector<std::string> labels;
    for (const deve::Rate &rate : deve::rates_of_mode(mode)) {
        labels.emplace_back(rate.label);
    }
    std::sort(labels.begin(), labels.end());
    return labels;
}
