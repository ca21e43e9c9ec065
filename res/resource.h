// Resource ids shared by the resource script and the program.
#pragma once

#define IDI_TOLVEX 1
#define IDB_OPEN_FOLDER 101
#define IDB_FLOPPY 102
