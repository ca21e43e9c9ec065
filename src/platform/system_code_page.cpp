#include "platform/system_code_page.h"

#include <windows.h>

namespace tolvex {
namespace {

CodePage MakeSystemCodePage() {
  const UINT acp = GetACP();
  CPINFO info{};
  const unsigned longest = GetCPInfo(acp, &info) ? info.MaxCharSize : 0;
  if (NewsCodePageNumber(acp, longest) == 1252) return CodePage::Windows1252();
  CodePage::Table table{};
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    wchar_t wide = 0;
    if (MultiByteToWideChar(acp, 0, &byte, 1, &wide, 1) != 1) wide = static_cast<wchar_t>(b);
    table[b] = static_cast<char16_t>(wide);
  }
  return CodePage(acp, table);
}

}  // namespace

const CodePage& SystemCodePage() {
  static const CodePage page = MakeSystemCodePage();
  return page;
}

}  // namespace tolvex
