// The dialog's groups. Each builder lays out its group's controls with their
// captions and registers them; the dialog's behaviour gives them their
// template states (enabled, shown) and input rules when it initialises.
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
