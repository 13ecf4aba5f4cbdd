// Identifiers of the Win32 skin's own resources: the dialog templates, the
// icon and the system-menu entry. The dialog's controls are in
// deve/resource.h, shared with every skin. Plain
// #defines: the resource script includes this header.
#pragma once

#define IDR_MAINFRAME 128

// The dialog's client width in dialog units: the groups and 確定, and with
// the pictures panel beside them (the tab control's right edge, 469 + 238,
// and the margin of 7 the groups have on the left).
#define DEVE_DIALOG_WIDTH 469
#define DEVE_DIALOG_WIDTH_OPEN 714
#define IDD_DEVE_DIALOG 102
#define IDD_ABOUTBOX 100

// The about entry of the system menu: below 0xF000 and a multiple of 16, as
// the system's own commands leave the low four bits to the system.
#define IDM_ABOUTBOX 0x0010
