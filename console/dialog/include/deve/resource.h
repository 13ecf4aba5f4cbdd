// Identifiers of the Deve dialog's controls (the program's resource ids), of
// its strings and of its timers: one header for the dialog's behaviour and for
// every skin, the Win32 resource script included, hence plain #defines.
#pragma once

// Dialog buttons.
#define ID_OK 1

// A label or frame that no code reaches.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// "Port open" and "Reg W/R".
#define IDC_OPEN 1001
#define IDC_CLOSE 1002
#define IDC_REG_ADDRESS 1003
#define IDC_REG_VALUE 1004
#define IDC_REG_WRITE 1005
#define IDC_REG_READ 1006
#define IDC_PORT_STATUS 1007
#define IDC_READ_DATA 1008
#define IDC_PORT 1030
#define IDC_SUPPLY 1069

// "Freq/Rate setting".
#define IDC_MODE 1000
#define IDC_RATE 1019
#define IDC_CHANNEL 1025
#define IDC_BAND 1026
#define IDC_XTAL 1027
#define IDC_RF_GAIN 1029
#define IDC_CHIP_ID 1038

// "TX/RX control".
#define IDC_PIT 1011
#define IDC_TX_ON 1016
#define IDC_RX_ON 1017
#define IDC_RX_OFF 1018
#define IDC_TX_PKT 1020
#define IDC_TX_OFF 1021
#define IDC_ERR_PKT 1022
#define IDC_TOTAL_PKT 1023
#define IDC_PER 1031
#define IDC_DAC 1036
#define IDC_FREQ_OFFSET 1042

// "Option" (engineering controls).
#define IDC_A62C_VALUE 1014
#define IDC_SAR 1015
#define IDC_A62C_WRITE 1037
#define IDC_LOAD_SCRIPT 1039
#define IDC_SCRIPT_PATH 1040
#define IDC_A630_WRITE 1043
#define IDC_DPD 1044
#define IDC_OPTION_GROUP 1063
#define IDC_DPD_STATUS 1064
#define IDC_BRATE_GAIN 1065
#define IDC_SAR_CODE 1066
#define IDC_A630_VALUE 1067
#define IDC_BRATE_GAIN_LABEL 1101  // the label that shows and hides with its list
#define IDC_SCRIPT_BROWSE 1102     // the script field's browse button

// "MAC Address".
#define IDC_MAC_BYTE0 1041
#define IDC_MAC_READ 1046
#define IDC_MAC_TEXT 1047
#define IDC_MAC_BYTE1 1048
#define IDC_MAC_BYTE2 1049
#define IDC_MAC_BYTE3 1050
#define IDC_MAC_BYTE4 1051
#define IDC_MAC_BYTE5 1052
#define IDC_MAC_WRITE 1053

// "efuse".
#define IDC_EFUSE_ITEM 1054
#define IDC_EFUSE_FIRST 1055
#define IDC_EFUSE_SECOND 1056
#define IDC_EFUSE_WRITE 1057
#define IDC_EFUSE_READ 1058
#define IDC_EFUSE_FIRST_LABEL 1059
#define IDC_EFUSE_SECOND_LABEL 1060
#define IDC_EFUSE_RESULT 1061
#define IDC_EFUSE_RANGE 1062

// The pictures side panel beside the groups (both skins).
#define IDC_PICTURES 1070        // button "Pictures" that opens and hides the panel
#define IDC_PICTURE_TABS 1071    // the panel's tabs
#define IDC_RX_CHART 1072        // receive chart
#define IDC_RX_SUMMARY 1073      // its text: counts since RX ON
#define IDC_PADPD_GAIN 1074      // AM-AM chart
#define IDC_PADPD_PHASE 1075     // AM-PM chart
#define IDC_PADPD_STATUS 1076    // where the curves come from
#define IDC_FUSE_GRID 1077       // the 256 fuse bits
#define IDC_FUSE_STATUS 1078     // free bits, or why there is no map

// Strings.
#define IDS_ABOUTBOX 101

// Dialog timers.
#define TIMER_TX_COUNT 0
#define TIMER_RX_COUNT 1
#define TIMER_PERIOD_MS 1000
