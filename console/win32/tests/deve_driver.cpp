#include "deve_driver.h"

#include <wincodec.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>

#include <thread>

namespace {

using namespace std::chrono_literals;

// Long enough for OPEN (register table and calibrations) on a busy machine.
constexpr UINT kHandlerTimeoutMs = 60000;

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// WM_GETTEXT, which Windows carries across processes.
std::wstring text_of(HWND window) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, kHandlerTimeoutMs, &got);
    text.resize(got);
    return text;
}

// A visible dialog window (#32770) of the process, other than `except`.
HWND find_dialog(DWORD process, HWND except, const wchar_t *title) {
    struct Search {
        DWORD process;
        HWND except;
        const wchar_t *title;
        HWND found;
    } search{process, except, title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<Search *>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->process || window == s->except || !IsWindowVisible(window) ||
                class_of(window) != L"#32770") {
                return TRUE;
            }
            if (s->title != nullptr) {
                wchar_t caption[256] = {};
                GetWindowTextW(window, caption, 256);
                if (std::wstring(caption) != s->title) {
                    return TRUE;
                }
            }
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The screen's pixels in an area, as 32-bit BGR rows, top down.
class ScreenPixels {
public:
    explicit ScreenPixels(const RECT &area)
        : width_(std::max<LONG>(0, area.right - area.left)), height_(std::max<LONG>(0, area.bottom - area.top)) {
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        HGDIOBJ previous = SelectObject(memory, bitmap_);
        BitBlt(memory, 0, 0, width_, height_, screen, area.left, area.top, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    ~ScreenPixels() {
        if (bitmap_ != nullptr) {
            DeleteObject(bitmap_);
        }
    }
    ScreenPixels(const ScreenPixels &) = delete;
    ScreenPixels &operator=(const ScreenPixels &) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    const std::uint32_t *pixels() const { return bits_ != nullptr ? static_cast<const std::uint32_t *>(bits_) : nullptr; }

private:
    int width_;
    int height_;
    HBITMAP bitmap_ = nullptr;
    void *bits_ = nullptr;
};

std::string statics_text(HWND box) {
    std::wstring text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (class_of(child) == L"Static" && IsWindowVisible(child)) {
            const std::wstring line = text_of(child);
            if (!line.empty()) {
                text += (text.empty() ? L"" : L"\n") + line;
            }
        }
    }
    return to_utf8(text);
}

}  // namespace



DeveDriver::DeveDriver(const std::wstring &program, const Env &env, const std::wstring &output) {
    // The program inherits this process's environment, with these set.
    for (const auto &[name, value] : env) {
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!output.empty()) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            problem_ = "cannot create " + to_utf8(output) + " (error " + std::to_string(GetLastError()) + ")";
            return;
        }
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = file;
        startup.hStdError = file;
    }
    const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr,
                                        file != INVALID_HANDLE_VALUE, 0, nullptr, nullptr, &startup, &process_);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);  // the program has its own
    }
    if (!started) {
        problem_ = "cannot start " + to_utf8(program) + " (error " + std::to_string(error) + ")";
        return;
    }
    WaitForInputIdle(process_.hProcess, kHandlerTimeoutMs);
    wait_until(
        [this] {
            dialog_ = find_dialog(process_.dwProcessId, nullptr, L"Deve");
            return dialog_ != nullptr || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
        },
        60s);
    if (dialog_ == nullptr) {
        problem_ = "the program's dialog did not appear";
    }
}

DeveDriver::~DeveDriver() {
    if (process_.hProcess == nullptr) {
        return;
    }
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::string DeveDriver::text(int id) const {
    wchar_t buffer[1024] = {};
    GetDlgItemTextW(dialog_, id, buffer, 1024);
    return to_utf8(buffer);
}

void DeveDriver::type(int id, const std::string &text) {
    const std::wstring wide = to_wide(text);
    SendMessageW(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void DeveDriver::keys(int id, const std::wstring &keys) {
    for (wchar_t key : keys) {
        SendMessageW(item(id), WM_CHAR, key, 1);
    }
}

void DeveDriver::click(int id) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(item(id), BM_CLICK, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &ignored);
}

void DeveDriver::post_click(int id) { PostMessageW(item(id), BM_CLICK, 0, 0); }

void DeveDriver::choose(int id, int position) {
    SendMessageW(item(id), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)),
                        SMTO_NORMAL, kHandlerTimeoutMs, &ignored);
}

std::vector<std::string> DeveDriver::items(int id) const {
    std::vector<std::string> out;
    const auto count = static_cast<int>(SendMessageW(item(id), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const auto length = SendMessageW(item(id), CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        out.push_back(to_utf8(text));
    }
    return out;
}

void DeveDriver::system_command(WPARAM command) { PostMessageW(dialog_, WM_SYSCOMMAND, command, 0); }

void DeveDriver::press(int id, WPARAM key) {
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostMessageW(item(id), WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageW(item(id), WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
    // A sent message is taken before the posted keys: the keys are handled
    // between the first and a later one.
    for (int i = 0; i < 3; ++i) {
        sync();
        std::this_thread::sleep_for(50ms);
    }
}

RECT DeveDriver::place(int id) const {
    RECT rect{};
    GetWindowRect(id == 0 ? dialog_ : item(id), &rect);
    return rect;
}

int DeveDriver::pixels_of(int id, std::uint32_t rgb) const {
    const ScreenPixels shot(place(id));
    const std::uint32_t *pixel = shot.pixels();
    if (pixel == nullptr) {
        return 0;
    }
    constexpr int kSlack = 8;
    int count = 0;
    for (int i = 0; i < shot.width() * shot.height(); ++i) {
        bool alike = true;
        for (unsigned shift : {16u, 8u, 0u}) {
            const int have = static_cast<int>((pixel[i] >> shift) & 0xFF);
            const int want = static_cast<int>((rgb >> shift) & 0xFF);
            alike = alike && std::abs(have - want) <= kSlack;
        }
        count += alike ? 1 : 0;
    }
    return count;
}

std::string DeveDriver::tooltip() const {
    struct Search {
        DWORD process;
        HWND found;
    } search{process_.dwProcessId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<Search *>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->process && IsWindowVisible(window) && class_of(window) == L"tooltips_class32") {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr ? to_utf8(text_of(search.found)) : std::string();
}

bool DeveDriver::running() const {
    return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DeveDriver::Box DeveDriver::wait_for_box(std::chrono::milliseconds timeout) const {
    Box box;
    wait_until(
        [&] {
            box.window = find_dialog(process_.dwProcessId, dialog_, nullptr);
            return box.window != nullptr;
        },
        timeout);
    if (box.window != nullptr) {
        // Let the box finish initialising before its texts are read.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(box.window, WM_NULL, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &ignored);
        wchar_t caption[256] = {};
        GetWindowTextW(box.window, caption, 256);
        box.title = to_utf8(caption);
        box.text = statics_text(box.window);
    }
    return box;
}

bool DeveDriver::answer(const Box &box, int button) const {
    PostMessageW(GetDlgItem(box.window, button), BM_CLICK, 0, 0);
    return wait_until([&] { return IsWindow(box.window) == FALSE; }, 20s);
}

void DeveDriver::sync() const {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &ignored);
}

bool DeveDriver::wait_until(const std::function<bool()> &condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

int DeveDriver::wait_exit(std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
}

bool DeveDriver::save_area(const std::wstring &file, const RECT &rect, std::string &problem) const {
    const ScreenPixels shot(rect);
    const int width = shot.width();
    const int height = shot.height();
    const void *bits = shot.pixels();
    if (bits == nullptr) {
        problem = "the screen could not be read";
        return false;
    }

    // PNG through the Windows Imaging Component.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory *factory = nullptr;
    IWICStream *stream = nullptr;
    IWICBitmapEncoder *encoder = nullptr;
    IWICBitmapFrameEncode *frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void **>(&factory));
    if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat32bppBGR) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        const UINT stride = static_cast<UINT>(width) * 4;
        hr = frame->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                                static_cast<BYTE *>(const_cast<void *>(bits)));
    }
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    for (IUnknown *object : {static_cast<IUnknown *>(frame), static_cast<IUnknown *>(encoder),
                             static_cast<IUnknown *>(stream), static_cast<IUnknown *>(factory)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
        problem = std::string("the picture could not be written (WIC error ") + code + ")";
        return false;
    }
    return true;
}
