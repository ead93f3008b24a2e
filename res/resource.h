// Resource, control and command identifiers. The resource script and the code share this file,
// so it holds plain #defines only (the resource compiler reads nothing else).
#pragma once

// Dialog templates
#define IDD_SETUP 109
#define IDD_REMINDER 120
#define IDD_NOTIFICATION 123

// Icon groups: the envelope and the blank square, twice each, stepped through while blinking
#define IDI_ENVELOPE 112
#define IDI_BLANK 143
#define IDI_ENVELOPE_AGAIN 144
#define IDI_BLANK_AGAIN 145

// Pictures and the clip
#define IDB_SPLASH 108
#define IDB_AGENDA 121
#define IDR_CLIP 147

// Menus and the (never loaded) accelerator table
#define IDR_TRAY_MENU 113
#define IDR_MENU_BAR 148
#define IDR_ACCELERATORS 146

// String table
#define IDS_NEED_MAIL_READER 3

// Setup dialog controls
#define IDC_CALENDAR 1004
#define IDC_MSMAIL_SERVER 1005
#define IDC_TIMER_ENABLED 1006
#define IDC_POLLING_TIME 1008
#define IDC_PLAY_SOUND 1009
#define IDC_READER_PATH 1016
#define IDC_BROWSE_READER 1017
#define IDC_SOUND_FILE 1018
#define IDC_BROWSE_SOUND 1019
#define IDC_DISPLAY_WINDOW 1020
#define IDC_TIMER 1021
#define IDC_OUTLOOK 1024
#define IDC_OTHER_READER 1025

// Reminder window controls
#define IDC_APPOINTMENT 1025
#define IDC_LOCATION 1026
#define IDC_REMINDER_DATE 1027

// Notification window controls
#define IDC_HISTORY 1030
#define IDC_PREVIEW 1031
#define IDC_SUBJECT 1032
#define IDC_SENDER 1033
#define IDC_ANIMATION 1037

// Menu bar commands, and the synonyms that no menu item carries
#define ID_CLOSE 1028
#define ID_DELETE 1029
#define ID_READ_NOW 1035
#define ID_READ_NOW_SYNONYM 1036
#define ID_DELETE_SYNONYM 1038
#define ID_CLOSE_SYNONYM 1039
#define ID_EXPAND 1040
#define ID_COLLAPSE 1041
#define ID_MENU_BAR_SPACER 65535

// Tray pop-up menu commands
#define ID_EXIT 40001
#define ID_CONFIGURE 40002
#define ID_READ_WITH_READER 40004
#define ID_ABOUT 40005
#define ID_PAUSE 40006
#define ID_OPEN 40007
