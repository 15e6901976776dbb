#pragma once
// Resource numbers of the Windows program's pictures. Included by the .rc
// file (so: preprocessor definitions only) and by the toolkit.
#define HV_IDI_MAIN 1
#define HV_IDR_BACKGROUND_JPEG 101
#define HV_IDB_MINIMIZE_NORMAL 201
#define HV_IDB_MINIMIZE_HOVER 202
#define HV_IDB_MINIMIZE_PRESSED 203
#define HV_IDB_CLOSE_NORMAL 204
#define HV_IDB_CLOSE_HOVER 205
#define HV_IDB_CLOSE_PRESSED 206
#define HV_IDB_ABOUT_BANNER 207
