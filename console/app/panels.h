// The dialog's groups. Each builder creates its group's controls in their
// template state (captions, enabled and hidden) and registers them.
#pragma once

class Controls;
class QGroupBox;

QGroupBox *buildPortPanel(Controls &controls);      // "Port open"
QGroupBox *buildRegisterPanel(Controls &controls);  // "Reg W/R"
QGroupBox *buildFreqRatePanel(Controls &controls);  // "Freq/Rate setting"
QGroupBox *buildTxRxPanel(Controls &controls);      // "TX/RX control"
QGroupBox *buildOptionPanel(Controls &controls);    // "Option", hidden
QGroupBox *buildMacPanel(Controls &controls);       // "MAC Address"
QGroupBox *buildEfusePanel(Controls &controls);     // "efuse"
