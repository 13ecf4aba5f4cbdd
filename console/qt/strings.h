// The program's fixed texts that are not technical, in Traditional Chinese
// (UTF-8).
#pragma once

namespace strings {

constexpr const char *kOk = "確定";                       // OK
constexpr const char *kAboutEntry = "關於 Deve(&A)...";   // string 101: About Deve
constexpr const char *kAboutTitle = "關於 Deve";          // About Deve
constexpr const char *kAboutVersion = "Deve，1.0 版";     // Deve, version 1.0
constexpr const char *kAboutText = "Varimon 雙頻 Wi-Fi 晶片射頻測試工具";  // RF test tool for the Varimon dual-band Wi-Fi chip

}  // namespace strings
