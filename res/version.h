// The program's version, in the two forms the version block carries.
#pragma once

#define TOLVEX_VERSION_NUMBERS 1, 1, 0, 1
#define TOLVEX_VERSION_TEXT "1.01.0001"
