// Resource ids of Korvalen. Kept by hand, grouped per dialog and menu; the numbers are
// fixed, since the program's windows, menus and the tests address everything by them.
// Plain macros only, so that the resource compiler and the portable core can both read
// this file.
#pragma once

// Icons and bitmaps
#define IDR_MAINFRAME 128      // program icon
#define IDI_TRAY 133           // tray icon
#define IDB_ABOUT_PICTURE 138  // picture of the About box

// Strings
#define IDS_ABOUTBOX 101  // "&About Korvalen..." for the system menu

// System menu: the About item added by the main window
#define IDM_ABOUTBOX 0x0010

// About box
#define IDD_ABOUTBOX 100
#define IDC_ABOUT_PICTURE 1100
#define IDC_ABOUT_NAME 1101
#define IDC_ABOUT_VERSION 1102

// Object ID prompt. A dialog, so its number may equal the port menu's: dialogs and menus
// are resources of different types.
#define IDD_SELECT_ID 134
#define IDC_OBJECT_ID 1021

// COM-port dialog. Its number equals the main menu's, its list ids the info lines' of
// the main window: different dialogs and resource types.
#define IDD_COM_PORT 130
#define IDC_COM_SPEED 1026
#define IDC_COM_PARITY 1027
#define IDC_COM_DATA_BITS 1028
#define IDC_COM_STOP_BITS 1029
#define IDC_COM_PORT_LIST 1031
#define IDC_COM_PORT_DEVICE 1032  // the device behind the selected port
#define IDC_COM_PORT_STATE 1033   // whether the selected port is free

// Settings dialog. Its hidden check boxes 1000, 1008 and 1010 are bound to no setting.
#define IDD_PROPERTIES 129
#define IDC_ALARM_ON_RESET 1000
#define IDC_BROWSE_INBOX 1001
#define IDC_INBOX_DIR 1002
#define IDC_BROWSE_DUMP_FOLDER 1003
#define IDC_IN_FILE 1004
#define IDC_USE_2D 1006
#define IDC_USE_GLOBAL_ID 1007
#define IDC_WRITE_CSV 1008
#define IDC_GLOBAL_ID 1009
#define IDC_WRITE_CSV_EXTENDED 1010
#define IDC_MULTI_START 1012
#define IDC_MIN_TRAY 1013
#define IDC_IGNITION_CHECK 1014
#define IDC_IGNITION_INPUT 1015
#define IDC_IGNITION_STATE 1016

// Device test dialog, reached by Ctrl+Alt+F1; its close button is IDOK.
#define IDD_TEST 135
#define IDC_RUN_TEST 1010
#define IDC_CLEAR_FLASH 1011
#define IDC_TEST_OUTPUT 1023

// The read-only text window (the help, the read journal); its close button is IDOK.
#define IDD_TEXT_WINDOW 140
#define IDC_TEXT_WINDOW_TEXT 1200
// The help's text: the user guide (docs/guide-ru.md, UTF-8)
#define IDR_HELP_TEXT 141

// About box: the build's date and revision
#define IDC_ABOUT_BUILD 1103
#define IDC_ABOUT_REVISION 1104

// Main window
#define IDD_KORVALEN_DIALOG 102
#define IDC_DECODE_FILE 1000
#define IDC_CLEAR_LOG 1001
#define IDC_READ_ALL 1002
#define IDC_READ_NEW 1004
#define IDC_PROGRESS 1006
#define IDC_LOG_LIST 1023
#define IDC_INFO_LINE1 1026
#define IDC_INFO_LINE2 1027
#define IDC_INFO_LINE3 1028
#define IDC_INFO_LINE4 1029
#define IDC_STATUS_BAR 32499

// Main menu
#define IDR_MAIN_MENU 130
#define ID_FILE_EXIT 32771
#define ID_SETTINGS 32772
#define ID_COM_PORT 32773
#define ID_HELP_CONTENTS 32774
#define ID_SAVE_DUMP_COPY 32775
#define ID_HELP_ABOUT 32776
#define ID_DECODE_PENDING 32790
#define ID_READ_JOURNAL 32791

// Tray menu (its first submenu is popped up)
#define IDR_TRAY_MENU 132
#define ID_TRAY_EXIT 32778
#define ID_TRAY_SHOW 32780

// Port menu, the status bar's context menu (its first submenu is popped up)
#define IDR_PORT_MENU 134
#define ID_PORT_DIALOG 32781
#define ID_PORT_OPEN_CLOSE 32783
