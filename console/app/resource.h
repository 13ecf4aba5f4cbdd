// Identifiers of the Deve dialog's controls (the program's resource ids) and
// of its strings and timers.
#pragma once

// Dialog buttons.
constexpr int ID_OK = 1;

// "Port open" and "Reg W/R".
constexpr int IDC_OPEN = 1001;
constexpr int IDC_CLOSE = 1002;
constexpr int IDC_REG_ADDRESS = 1003;
constexpr int IDC_REG_VALUE = 1004;
constexpr int IDC_REG_WRITE = 1005;
constexpr int IDC_REG_READ = 1006;
constexpr int IDC_PORT_STATUS = 1007;
constexpr int IDC_READ_DATA = 1008;
constexpr int IDC_PORT = 1030;
constexpr int IDC_SUPPLY = 1069;

// "Freq/Rate setting".
constexpr int IDC_MODE = 1000;
constexpr int IDC_RATE = 1019;
constexpr int IDC_CHANNEL = 1025;
constexpr int IDC_BAND = 1026;
constexpr int IDC_XTAL = 1027;
constexpr int IDC_RF_GAIN = 1029;
constexpr int IDC_CHIP_ID = 1038;

// "TX/RX control".
constexpr int IDC_PIT = 1011;
constexpr int IDC_TX_ON = 1016;
constexpr int IDC_RX_ON = 1017;
constexpr int IDC_RX_OFF = 1018;
constexpr int IDC_TX_PKT = 1020;
constexpr int IDC_TX_OFF = 1021;
constexpr int IDC_ERR_PKT = 1022;
constexpr int IDC_TOTAL_PKT = 1023;
constexpr int IDC_PER = 1031;
constexpr int IDC_DAC = 1036;
constexpr int IDC_FREQ_OFFSET = 1042;

// "Option" (engineering controls).
constexpr int IDC_A62C_VALUE = 1014;
constexpr int IDC_SAR = 1015;
constexpr int IDC_A62C_WRITE = 1037;
constexpr int IDC_LOAD_SCRIPT = 1039;
constexpr int IDC_SCRIPT_PATH = 1040;
constexpr int IDC_A630_WRITE = 1043;
constexpr int IDC_DPD = 1044;
constexpr int IDC_OPTION_GROUP = 1063;
constexpr int IDC_DPD_STATUS = 1064;
constexpr int IDC_BRATE_GAIN = 1065;
constexpr int IDC_SAR_CODE = 1066;
constexpr int IDC_A630_VALUE = 1067;

// "MAC Address".
constexpr int IDC_MAC_BYTE0 = 1041;
constexpr int IDC_MAC_READ = 1046;
constexpr int IDC_MAC_TEXT = 1047;
constexpr int IDC_MAC_BYTE1 = 1048;
constexpr int IDC_MAC_BYTE2 = 1049;
constexpr int IDC_MAC_BYTE3 = 1050;
constexpr int IDC_MAC_BYTE4 = 1051;
constexpr int IDC_MAC_BYTE5 = 1052;
constexpr int IDC_MAC_WRITE = 1053;

// "efuse".
constexpr int IDC_EFUSE_ITEM = 1054;
constexpr int IDC_EFUSE_FIRST = 1055;
constexpr int IDC_EFUSE_SECOND = 1056;
constexpr int IDC_EFUSE_WRITE = 1057;
constexpr int IDC_EFUSE_READ = 1058;
constexpr int IDC_EFUSE_FIRST_LABEL = 1059;
constexpr int IDC_EFUSE_SECOND_LABEL = 1060;
constexpr int IDC_EFUSE_RESULT = 1061;
constexpr int IDC_EFUSE_RANGE = 1062;

// Strings.
constexpr int IDS_ABOUTBOX = 101;

// Dialog timers.
constexpr int TIMER_TX_COUNT = 0;
constexpr int TIMER_RX_COUNT = 1;
constexpr int kTimerPeriodMs = 1000;
