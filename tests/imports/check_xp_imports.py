#!/usr/bin/env python3
"""Checks that Tolvex111.exe can start on Windows XP SP3.

Wine cannot show this: its DLLs export every function whatever Windows version
it reports. So this reads the program's header and import table with
`objdump -p` and fails on
  - an imported function outside the allowlist below, which holds only what
    the DLLs of Windows XP SP3 export (the loader refuses a program that
    imports anything else, e.g. GetTickCount64 from Vista on);
  - a DLL outside the allowlist, or a function imported by ordinal;
  - a program that is not 32-bit x86 (PE32, i386), as the 64-bit build is;
  - a subsystem or OS version above 5.01 (XP is 5.1);
  - a missing DYNAMIC_BASE (ASLR) or NX_COMPAT (DEP);
and, with --windres, on a manifest among the resources (the program runs
without one: classic controls, not DPI-aware, file virtualisation as ever).

    check_xp_imports.py OBJDUMP EXE [--windres WINDRES]
"""
import re
import subprocess
import sys

# What the program may import, by DLL. Every name here is exported by the
# Windows XP SP3 (x86) DLL it is listed under. These are the classic functions
# a Win32 editor uses; the list is meant to grow with the program, but only by
# names that XP SP3 has (see the "Minimum supported client" of each function).
# Not here on purpose, as XP lacks them: GetTickCount64, the SRW locks,
# condition variables and one-time initialisation, Fls*, CreateEventExW,
# GetThreadId, CompareStringEx and the other locale-name functions,
# SetDefaultDllDirectories, SetProcessDPIAware and the other DPI functions,
# ChangeWindowMessageFilter, TaskDialog, the *_s functions and strnlen of
# msvcrt. comctl32 is no import at all: a DLL that is not one of the system's
# "known DLLs" is looked for in the program's folder first, so the program
# loads it from the system folder by full path instead.
ALLOWED = {
    "kernel32.dll": """
        AddVectoredExceptionHandler CloseHandle CompareFileTime CompareStringW
        CopyFileW CreateDirectoryW CreateEventW CreateFileMappingW CreateFileW
        CreateMutexW CreateProcessW CreateSemaphoreW CreateThread DecodePointer
        DeleteCriticalSection DeleteFileW DuplicateHandle EncodePointer
        EnterCriticalSection ExitProcess ExitThread ExpandEnvironmentStringsW
        FileTimeToLocalFileTime FileTimeToSystemTime FindClose FindFirstFileExW
        FindFirstFileW FindNextFileW FindResourceW FlushFileBuffers
        FlushViewOfFile FormatMessageA FormatMessageW FreeEnvironmentStringsW
        FreeLibrary FreeResource GetACP GetCommandLineA GetCommandLineW
        GetCPInfo GetCurrentDirectoryW GetCurrentProcess GetCurrentProcessId
        GetCurrentThread GetCurrentThreadId GetDateFormatW GetDiskFreeSpaceExW
        GetDiskFreeSpaceW GetDriveTypeW GetEnvironmentStringsW
        GetEnvironmentVariableW GetExitCodeProcess GetExitCodeThread
        GetFileAttributesExW GetFileAttributesW GetFileInformationByHandle
        GetFileSize GetFileSizeEx GetFileTime GetFileType GetFullPathNameW
        GetLastError GetLocaleInfoW GetLocalTime GetLongPathNameW
        GetModuleFileNameA GetModuleFileNameW GetModuleHandleA
        GetModuleHandleExW GetModuleHandleW GetOEMCP GetPrivateProfileStringW
        GetProcAddress GetProcessHeap GetShortPathNameW GetStartupInfoA
        GetStartupInfoW GetStdHandle GetStringTypeW GetSystemDefaultLangID
        GetSystemDefaultLCID GetSystemDirectoryW GetSystemInfo GetSystemTime
        GetSystemTimeAsFileTime GetSystemWindowsDirectoryW GetTempFileNameW
        GetTempPathW GetThreadLocale GetTickCount GetTimeFormatW
        GetTimeZoneInformation GetUserDefaultLangID GetUserDefaultLCID
        GetUserDefaultUILanguage GetVersion GetVersionExW GetVolumeInformationW
        GetWindowsDirectoryW GlobalAlloc GlobalFree GlobalLock GlobalSize
        GlobalUnlock HeapAlloc HeapCreate HeapDestroy HeapFree HeapReAlloc
        HeapSize InitializeCriticalSection InitializeCriticalSectionAndSpinCount
        InterlockedCompareExchange InterlockedDecrement InterlockedExchange
        InterlockedExchangeAdd InterlockedIncrement IsDBCSLeadByte
        IsDBCSLeadByteEx IsDebuggerPresent IsProcessorFeaturePresent
        IsValidCodePage LCMapStringW LeaveCriticalSection LoadLibraryA
        LoadLibraryExW LoadLibraryW LoadResource LocalAlloc LocalFree
        LockResource lstrcatW lstrcmpiW lstrcmpW lstrcpynW lstrcpyW lstrlenW
        MapViewOfFile MoveFileExW MoveFileW MulDiv MultiByteToWideChar
        OutputDebugStringA OutputDebugStringW QueryPerformanceCounter
        QueryPerformanceFrequency RaiseException ReadFile ReleaseMutex
        ReleaseSemaphore RemoveDirectoryW RemoveVectoredExceptionHandler
        ReplaceFileW ResetEvent ResumeThread RtlCaptureContext RtlUnwind
        SetCurrentDirectoryW SetDllDirectoryW SetEndOfFile SetEnvironmentVariableW
        SetErrorMode SetEvent SetFileAttributesW SetFilePointer SetFilePointerEx
        SetFileTime SetLastError SetUnhandledExceptionFilter SizeofResource Sleep
        SleepEx SystemTimeToFileTime TerminateProcess TlsAlloc TlsFree
        TlsGetValue TlsSetValue TryEnterCriticalSection UnhandledExceptionFilter
        UnmapViewOfFile VirtualAlloc VirtualFree VirtualProtect VirtualQuery
        WaitForMultipleObjects WaitForSingleObject WaitForSingleObjectEx
        WideCharToMultiByte WriteConsoleW WriteFile WritePrivateProfileStringW
    """,
    "user32.dll": """
        AdjustWindowRect AdjustWindowRectEx AppendMenuW BeginDeferWindowPos
        BeginPaint BringWindowToTop CallNextHookEx CallWindowProcW
        CharLowerBuffW CharLowerW CharNextW CharPrevW CharUpperBuffW CharUpperW
        CheckDlgButton CheckMenuItem ClientToScreen CloseClipboard CopyImage
        CopyRect CreateAcceleratorTableW CreateDialogParamW CreateMenu
        CreatePopupMenu CreateWindowExW DefDlgProcW DeferWindowPos
        DefWindowProcW DestroyAcceleratorTable DestroyCursor DestroyIcon
        DestroyMenu DestroyWindow DialogBoxParamW DispatchMessageW DrawEdge
        DrawFocusRect DrawFrameControl DrawIconEx DrawMenuBar DrawTextW
        EmptyClipboard EnableMenuItem EnableWindow EndDeferWindowPos EndDialog
        EndPaint EnumChildWindows EnumThreadWindows EnumWindows EqualRect
        FillRect FindWindowExW FindWindowW FlashWindow FrameRect GetActiveWindow
        GetAncestor GetAsyncKeyState GetCapture GetClassInfoExW GetClassLongW
        GetClassNameW GetClientRect GetClipboardData GetComboBoxInfo GetCursor GetCursorPos
        GetDC GetDCEx GetDesktopWindow GetDlgCtrlID GetDlgItem GetDlgItemTextW
        GetDoubleClickTime GetFocus GetForegroundWindow GetGUIThreadInfo
        GetKeyboardState GetKeyState GetLastActivePopup GetMenu GetMessagePos
        GetMessageTime GetMessageW GetMonitorInfoW GetNextDlgGroupItem
        GetNextDlgTabItem GetParent GetPropW GetScrollInfo GetScrollPos
        GetSubMenu GetSysColor GetSysColorBrush GetSystemMenu GetSystemMetrics
        GetTopWindow GetUpdateRect GetWindow GetWindowDC GetWindowLongW
        GetWindowPlacement GetWindowRect GetWindowTextLengthW GetWindowTextW
        GetWindowThreadProcessId InflateRect IntersectRect InvalidateRect
        IsChild IsClipboardFormatAvailable IsDialogMessageW IsDlgButtonChecked
        IsIconic IsRectEmpty IsWindow IsWindowEnabled IsWindowUnicode
        IsWindowVisible IsZoomed KillTimer LoadAcceleratorsW LoadBitmapW
        LoadCursorW LoadIconW LoadImageW LoadMenuW LoadStringW MapVirtualKeyW
        MapWindowPoints MessageBeep MessageBoxExW MessageBoxW MonitorFromPoint
        MonitorFromRect MonitorFromWindow MoveWindow MsgWaitForMultipleObjects
        OffsetRect OpenClipboard PeekMessageW PostMessageW PostQuitMessage
        PostThreadMessageW PtInRect RedrawWindow RegisterClassExW RegisterClassW
        RegisterClipboardFormatW RegisterWindowMessageW ReleaseCapture ReleaseDC
        RemovePropW ScreenToClient ScrollWindowEx SendDlgItemMessageW
        SendMessageTimeoutW SendMessageW SendNotifyMessageW SetActiveWindow
        SetCapture SetClassLongW SetClipboardData SetCursor SetCursorPos
        SetDlgItemTextW SetFocus SetForegroundWindow SetMenu SetParent SetPropW
        SetRect SetRectEmpty SetScrollInfo SetScrollPos SetTimer SetWindowLongW
        SetWindowPlacement SetWindowPos SetWindowsHookExW SetWindowTextW
        ShowWindow SystemParametersInfoW TrackMouseEvent TrackPopupMenu
        TranslateAcceleratorW TranslateMessage UnhookWindowsHookEx UnionRect
        UnregisterClassW UpdateWindow ValidateRect WaitMessage WindowFromPoint
        wsprintfW wvsprintfW
    """,
    "gdi32.dll": """
        BitBlt CombineRgn CreateBitmap CreateBrushIndirect
        CreateCompatibleBitmap CreateCompatibleDC CreateDIBSection
        CreateFontIndirectW CreateFontW CreatePen CreateRectRgn CreateSolidBrush
        DeleteDC DeleteObject ExcludeClipRect ExtTextOutW GetCurrentObject
        GetDeviceCaps GetDIBits GetObjectType GetObjectW GetStockObject
        GetTextExtentPoint32W GetTextFaceW GetTextMetricsW IntersectClipRect
        LineTo MoveToEx PatBlt Rectangle RestoreDC SaveDC SelectClipRgn
        SelectObject SetBkColor SetBkMode SetDIBits SetMapMode SetStretchBltMode
        SetTextColor StretchBlt StretchDIBits TextOutW
    """,
    "comdlg32.dll": """
        ChooseColorW ChooseFontW CommDlgExtendedError FindTextW GetFileTitleW
        GetOpenFileNameW GetSaveFileNameW PageSetupDlgW PrintDlgW ReplaceTextW
    """,
    "msvcrt.dll": """
        ___lc_codepage_func ___mb_cur_max_func __dllonexit __getmainargs
        __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode __p__wcmdln
        __set_app_type __setusermatherr __wgetmainargs __winitenv _amsg_exit
        _beginthreadex _cexit _close _endthreadex _errno _exit _fileno _fpreset
        _get_osfhandle _initterm _iob _isatty _lock _lseek _onexit _open _read
        _setjmp _setmode _snprintf _snwprintf _strdup _stricmp _strnicmp _unlock
        _vsnprintf _vsnwprintf _wcsdup _wcsicmp _wcsnicmp _wfopen _write abort
        abs atoi atol bsearch calloc exit fclose fflush fgetc fgets fopen
        fprintf fputc fputs fputwc fread free fseek ftell fwprintf fwrite getenv
        isalpha isdigit isspace iswalpha iswdigit iswspace localeconv longjmp
        malloc mbstowcs memchr memcmp memcpy memmove memset printf qsort raise
        realloc setlocale setvbuf signal sprintf strcat strchr strcmp strcpy
        strerror strftime strlen strncmp strncpy strrchr strstr strtol strtoul
        swprintf tolower toupper towlower towupper vfprintf vsprintf wcscat
        wcschr wcscmp wcscpy wcslen wcsncmp wcsncpy wcsrchr wcsstr wcstol
        wcstombs wcstoul
    """,
}
ALLOWED = {dll: set(names.split()) for dll, names in ALLOWED.items()}

# Windows XP is Windows NT 5.1: its loader refuses a program that asks for more.
HIGHEST_VERSION = (5, 1)


def problems(objdump_text):
    """Returns what stands between the program and Windows XP SP3, as sentences."""
    found = []
    header = {}
    for line in objdump_text.splitlines():
        m = re.match(r"^(\w+)\s+([0-9A-Fa-f]+)\b", line)
        if m and m.group(1) not in header:
            header[m.group(1)] = m.group(2)

    if not re.search(r"file format pei-i386\b", objdump_text) or header.get("Magic") != "010b":
        found.append("is not a 32-bit x86 program (PE32, i386)")

    for what, major_key, minor_key in (
            ("subsystem", "MajorSubsystemVersion", "MinorSubsystemVersion"),
            ("OS", "MajorOSystemVersion", "MinorOSystemVersion")):
        if major_key not in header or minor_key not in header:
            found.append(f"no {what} version in the header")
            continue
        version = (int(header[major_key]), int(header[minor_key]))
        if version > HIGHEST_VERSION:
            found.append(f"{what} version {version[0]}.{version[1]:02d} is above"
                         f" Windows XP's 5.01")

    flags_text = objdump_text.split("DllCharacteristics", 1)
    flags = set(re.findall(r"^\t+([A-Z_]+)$", flags_text[1].split("\n\n", 1)[0],
                           re.M)) if len(flags_text) == 2 else set()
    for flag in ("DYNAMIC_BASE", "NX_COMPAT"):
        if flag not in flags:
            found.append(f"{flag} is not set")

    dll = None
    imports = 0
    for line in objdump_text.splitlines():
        m = re.match(r"^\tDLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            if dll not in ALLOWED:
                found.append(f"imports from {m.group(1)}, which is not among the"
                             f" DLLs allowed ({', '.join(sorted(ALLOWED))})")
            continue
        m = re.match(r"^\t[0-9a-f]+\t\s*(\d+)\s+(\S+)", line)
        if m and dll:
            imports += 1
            name = m.group(2)
            if name == "<none>":
                found.append(f"imports {dll} function number {m.group(1)} by ordinal")
            elif dll in ALLOWED and name not in ALLOWED[dll]:
                found.append(f"imports {dll}!{name}, which is not in the allowlist"
                             f" of what Windows XP SP3 has (add it only if XP SP3 exports it)")
        elif not line.strip():
            dll = None
    if imports == 0:
        found.append("no imported function found: objdump's output was not understood")
    return found


def manifest_problem(windres, exe):
    listing = subprocess.run([windres, "-i", exe, "-O", "rc"], check=True,
                             capture_output=True, text=True).stdout
    if re.search(r"\bRT_MANIFEST\b|Type: manifest", listing):
        return ["has a manifest, which the program runs without"]
    return []


def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--windres"):
        print(__doc__, file=sys.stderr)
        return 2
    objdump, exe = argv[1], argv[2]
    text = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                          text=True).stdout
    found = problems(text)
    if len(argv) == 5:
        found += manifest_problem(argv[4], exe)
    for problem in found:
        print(f"{exe}: {problem}", file=sys.stderr)
    if found:
        return 1
    print(f"{exe}: starts on Windows XP SP3: a 32-bit x86 program, only allowlisted imports, subsystem and OS"
          f" version 5.01 at most, DYNAMIC_BASE and NX_COMPAT"
          + (", no manifest" if len(argv) == 5 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
