// Identifiers of the executable's resources: icons, the main window's menu
// and accelerators, and the commands of that menu and of the standard tray
// menu. Included by the resource scripts as well, so only preprocessor lines.
#ifndef QRV_RESOURCE_IDS_H
#define QRV_RESOURCE_IDS_H

// Icon groups.
#define IDI_MAIN 159              // the main icon (48, 32, 16 and 256 pixels)
#define IDI_MAIN_SMALL 160        // 16 pixels, 4 bits
#define IDI_SUSPENDED 206         // tray: hotkeys suspended
#define IDI_PAUSED 207            // tray: script paused
#define IDI_PAUSED_SUSPENDED 208  // tray: both

// The main window's menu and its accelerators.
#define IDR_MAIN_MENU 211
#define IDR_MAIN_ACCELERATORS 212

// Standard tray-menu commands.
#define ID_TRAY_OPEN 65300
#define ID_TRAY_HELP 65301
#define ID_TRAY_WINDOWSPY 65302
#define ID_TRAY_RELOADSCRIPT 65303
#define ID_TRAY_EDITSCRIPT 65304
#define ID_TRAY_SUSPEND 65305
#define ID_TRAY_PAUSE 65306
#define ID_TRAY_EXIT 65307

// Main-window menu commands.
#define ID_FILE_RELOADSCRIPT 65400
#define ID_FILE_EDITSCRIPT 65401
#define ID_FILE_WINDOWSPY 65402
#define ID_FILE_PAUSE 65403
#define ID_FILE_SUSPEND 65404
#define ID_FILE_EXIT 65405
#define ID_VIEW_LINES 65406
#define ID_VIEW_VARIABLES 65407
#define ID_VIEW_HOTKEYS 65408
#define ID_VIEW_KEYHISTORY 65409
#define ID_VIEW_REFRESH 65410
#define ID_HELP_USERMANUAL 65411
#define ID_HELP_WEBSITE 65412

#endif
