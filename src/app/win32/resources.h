// Resource numbers of the Windows program.
#pragma once

#define IDI_DATEIMARK 1
#define IDI_FOLDER 2
#define IDI_SHEET 3
#define IDI_INFO 4
#define IDB_LOGO 10
#define IDB_CIRCUIT 11
#define IDC_LOGO 20
