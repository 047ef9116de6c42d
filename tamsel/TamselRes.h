// Resource ids of Tamsel: templates, pictures, menu, controls, commands and strings. Only
// #define lines: rc reads this.
#pragma once

#define IDD_PROTECT 102
#define IDD_ADD_PATH 301
#define IDD_REMOVE_FOLDER 302
#define IDD_TEMP_ERASE 304
#define IDB_FOLDERS 205
#define IDI_TAMSEL 206
#define IDR_TRAY_MENU 207
#define IDC_TAMSEL 208

// Auto-encryption folders page (102)
#define IDC_FOLDER_LIST 261
#define IDC_ADD_FOLDER 1200
#define IDC_RELEASE_FOLDER 1201

// Folder to add (301); its OK is 1284, not IDOK
#define IDC_ADD_PATH 1281
#define IDC_ADD_PASSWORD 1282
#define IDC_ADD_BROWSE 1283
#define IDC_ADD_OK 1284
#define IDC_ADD_CONFIRM 1285
#define IDC_ADD_LEVEL_NONE 1286
#define IDC_ADD_LEVEL_FAST 1287
#define IDC_ADD_LEVEL_HIGH 1288
#define IDC_ADD_ALWAYS_CONFIRM 1296
#define IDC_ADD_LIMIT_RETRY 1297
#define IDC_ADD_RETRY_LIMIT 1298

// Folder to release (302)
#define IDC_REMOVE_FOLDER 1289
#define IDC_REMOVE_DECRYPT_ALL 1290
#define IDC_REMOVE_PASSWORD 1291

// Temporary-folder erase (304)
#define IDC_TEMP_ERASE_PROGRESS 1294
#define IDC_TEMP_ERASE_CANCEL 1295

// Commands of the hidden main window, from the tray menu and from a second start.
#define ID_OPEN_SETTINGS 200
#define ID_EXIT_TAMSEL 201

#define IDS_SETTINGS 1
#define IDS_WRONG_PASSWORD 2
#define IDS_INVALID_PATH 3
#define IDS_PATH_LIST 4
#define IDS_PASSWORDS_DIFFER 5
#define IDS_IMAGE_CREATE_FAILED 6
#define IDS_SOURCE_FILE_FAILED 7
#define IDS_OUT_OF_MEMORY 8
#define IDS_OVERWRITE_QUESTION 9
#define IDS_LIST_EMPTY 11
#define IDS_SELECT_ITEM 12
#define IDS_PASSWORD_TOO_LONG 13
#define IDS_SPECIAL_FOLDER 14
#define IDS_TRAY_TIP 15
#define IDS_COMPRESS_LEVEL 16
#define IDS_LEVEL_NONE 17
#define IDS_LEVEL_FAST 18
#define IDS_LEVEL_HIGH 19
#define IDS_DECRYPT_LIMIT_REACHED 22
#define IDS_IMAGE_EXPIRED 23
#define IDS_ENCRYPT_NEW_FOLDER 33
#define IDS_CAPTION 34
#define IDS_PRODUCT_NAME 35
#define IDS_ERROR_LIMIT_REACHED 37
#define IDS_FOLDER_ALREADY_LISTED 38
