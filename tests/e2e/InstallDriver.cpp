#include "tests/e2e/InstallDriver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/win32/Wide.h"
#include "tests/TestSupport.h"

namespace e2e {

namespace {

using testing_support::Put16;
using testing_support::Put32;

// The pixels of a screen rectangle, bottom-up rows of BGR triples padded to
// four bytes, as a BMP file stores them.
struct Capture {
    int Width = 0, Height = 0, Stride = 0;
    std::vector<uint8_t> Bits;
    COLORREF At(int x, int y) const {
        const uint8_t* p =
            &Bits[static_cast<size_t>(Height - 1 - y) * Stride + static_cast<size_t>(x) * 3];
        return RGB(p[2], p[1], p[0]);
    }
};

bool CaptureScreen(const RECT& r, Capture& c) {
    c.Width = r.right - r.left;
    c.Height = r.bottom - r.top;
    if (c.Width <= 0 || c.Height <= 0) return false;
    c.Stride = (c.Width * 3 + 3) & ~3;
    c.Bits.assign(static_cast<size_t>(c.Stride) * c.Height, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, c.Width, c.Height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool ok = BitBlt(memory, 0, 0, c.Width, c.Height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = c.Width;
    info.bmiHeader.biHeight = c.Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    ok = ok &&
         GetDIBits(memory, bitmap, 0, c.Height, c.Bits.data(), &info, DIB_RGB_COLORS) == c.Height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) < 24 &&
           std::abs(GetGValue(a) - GetGValue(b)) < 24 && std::abs(GetBValue(a) - GetBValue(b)) < 24;
}

} // namespace

bool ScreenShot(HWND window, const std::string& bmpFile) {
    RECT r;
    if (window) {
        if (!GetWindowRect(window, &r)) return false;
    } else {
        r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    Capture c;
    if (!CaptureScreen(r, c)) return false;
    constexpr uint32_t kHeaders = 14 + 40;
    std::string bmp;
    bmp += "BM";
    Put32(bmp, kHeaders + static_cast<uint32_t>(c.Bits.size()));
    Put32(bmp, 0);
    Put32(bmp, kHeaders);
    Put32(bmp, 40);
    Put32(bmp, static_cast<uint32_t>(c.Width));
    Put32(bmp, static_cast<uint32_t>(c.Height));
    Put16(bmp, 1);
    Put16(bmp, 24);
    for (int i = 0; i < 6; ++i)
        Put32(bmp, 0);
    bmp.append(reinterpret_cast<const char*>(c.Bits.data()), c.Bits.size());
    std::ofstream out(platform::win32::Wide(bmpFile).c_str(), std::ios::binary);
    out.write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
    return static_cast<bool>(out);
}

double BarFill(HWND bar) {
    RECT r;
    if (!GetWindowRect(bar, &r)) return -1;
    int middle = (r.top + r.bottom) / 2;
    RECT row{r.left, middle, r.right, middle + 1};
    Capture c;
    if (!CaptureScreen(row, c)) return -1;
    // Inside the bar's frame, the last column in the highlight colour marks
    // where the drawn bar ends.
    const int border = 2, inner = c.Width - 2 * border;
    if (inner <= 0) return -1;
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    int last = -1;
    for (int x = 0; x < inner; ++x)
        if (Near(c.At(border + x, 0), highlight)) last = x;
    return static_cast<double>(last + 1) / inner;
}

bool RealInput(const std::string& folder, const std::string& request) {
    const std::wstring reply = platform::win32::Wide(folder + "reply");
    const std::wstring pending = platform::win32::Wide(folder + "request");
    const std::wstring written = pending + L".tmp";
    DeleteFileW(reply.c_str());
    {
        std::ofstream out(written.c_str(), std::ios::binary);
        out << request << "\n";
    }
    // The helper sees the request only once it is complete.
    if (!MoveFileExW(written.c_str(), pending.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        std::ifstream in(reply.c_str(), std::ios::binary);
        int status = -1;
        if (in >> status) {
            in.close();
            DeleteFileW(reply.c_str());
            return status == 0;
        }
    }
    return false;
}

size_t PeakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v ? v : fallback;
}
std::string Work() {
    return Env("INSTALL_E2E_WORK", "B:\\install-e2e") + "\\";
}
std::string Served(const std::string& name) {
    return Work() + "www\\zividezeru\\Files\\" + name;
}
std::string Marker(const std::string& name) {
    return Work() + "www\\modes\\" + name;
}
bool Signed() {
    return !Env("INSTALL_E2E_SIGNED").empty();
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(platform::win32::Wide(folder + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string n = platform::win32::Narrow(fd.cFileName);
        if (n != "." && n != ".." && n != "INSTALL.REC" && n != "UNINSTALL.EXE")
            names.push_back(n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace e2e
