// Resource ids of the plug-in, grouped by where they are used.
#pragma once

// Version resource and module texts.
#define VS_VERSION_INFO_ID 1

// String table: the plug-in's own texts, ids 65376 to 65439.
#define IDS_BANNER                   65376
#define IDS_BANNER_SECOND            65377
#define IDS_INSTALL_FOLDER           65378
#define IDS_ENGINE_PATH              65379
#define IDS_BASE_PATH                65380
#define IDS_LOG_PATH                 65381
#define IDS_UNLOADED                 65382
#define IDS_ERROR_PREFIX             65383
#define IDS_CANNOT_LOAD_ENGINE       65384
#define IDS_NO_INIT_PROC             65385
#define IDS_NO_ENTRY_POINT           65386
#define IDS_ENGINE_VERSION           65387
#define IDS_VERSION_MISMATCH         65388
#define IDS_LOADING_BASE             65389
#define IDS_BASE_FAILED              65390
#define IDS_BASE_OK                  65391
#define IDS_BASES_TOTAL              65392
#define IDS_NO_BASES                 65393
#define IDS_CHECKFILE_MEMORY         65394
#define IDS_MEMORY_OBJECT            65395
#define IDS_CHECKFILE                65396
#define IDS_UNKNOWN_STATUS           65397
#define IDS_ENGINE_ERROR             65398
#define IDS_ARCHIVE_DISABLED         65399
#define IDS_OK                       65400
#define IDS_DASH_OK                  65401
#define IDS_DASH                     65402
#define IDS_PROBABLY_INFECTED        65403
#define IDS_INFECTED                 65404
#define IDS_MODIFICATION             65405
#define IDS_CHECKARCHIVE_MEMORY      65406
#define IDS_CHECKARCHIVE             65407
#define IDS_ARCHIVE_NAME             65408
#define IDS_ERR_ARCHIVER_NAME        65409
#define IDS_TOO_DEEP                 65410
#define IDS_ERR_OPEN_ARCHIVE         65411
#define IDS_ERR_NEXT_HEADER          65412
#define IDS_ERR_EXTRACT              65413
#define IDS_INCOMPLETE_MEMBER        65414
#define IDS_TOO_MANY_MEMBERS         65415
#define IDS_STATUS_CURED             65416
#define IDS_STATUS_INCURABLE         65417
#define IDS_STATUS_READ              65418
#define IDS_STATUS_WRITE             65419
#define IDS_STATUS_UNPACK            65420
#define IDS_STATUS_PASSWORD          65421
#define IDS_STATUS_SPLIT             65422
#define IDS_STATUS_CRC               65423
#define IDS_STATUS_HEADER            65424
#define IDS_PLUGIN_NAME              65425
#define IDS_CUREFILE                 65426
#define IDS_CURED                    65427
#define IDS_CURE_ARCHIVE_LOG         65428
#define IDS_CURE_ARCHIVE_STATUS      65429
#define IDS_CURE_REPEAT_LIMIT        65430
#define IDS_CHECKMEMORY              65431
#define IDS_NOTICE_TITLE             65432
#define IDS_NOTICE_INFECTED          65433
#define IDS_NOTICE_ERROR             65434
#define IDS_NOTICE_CHECK             65435
#define IDS_NOTICE_DISMISS           65436
#define IDS_ENGINE_FAULT             65437

// Setup: page templates, dialogs, bitmap and icon (filled in by the setup
// resources). Control ids are grouped per dialog.
#define IDD_PAGE_LOG_SOUNDS 106
#define IDD_PAGE_WELCOME 107
#define IDD_PAGE_FOLDERS 108
#define IDD_PAGE_OPTIONS 110
#define IDD_FILE_TYPES 111
#define IDD_CHOOSE_INSTALLATION 102
#define IDD_FIND_DRIVES 103
#define IDD_SEARCHING 104
#define IDB_WELCOME 107
#define IDI_BROWSE 109
