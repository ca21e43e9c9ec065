// The single-byte code page news files are written in.
#pragma once

#include "platform/code_page.h"

namespace tolvex {

// The system's ANSI code page when it has one byte per character, otherwise
// Windows-1252.
const CodePage& SystemCodePage();

}  // namespace tolvex
