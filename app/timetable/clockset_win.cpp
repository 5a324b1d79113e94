// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "clockset.h"

#include <windows.h>

namespace {

const wchar_t className[] = L"LumivaneClockSetNotice";

// Runs inside Qt's event loop, which dispatches the messages of every
// window of the thread.
LRESULT CALLBACK noticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A resume from suspend is a clock step the system does not announce
    // as WM_TIMECHANGE.
    if (message == WM_TIMECHANGE || (message == WM_POWERBROADCAST && wParam == PBT_APMRESUMEAUTOMATIC)) {
        if (auto *notice = reinterpret_cast<ClockSetNotice *>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
            emit notice->clockSet();
        return message == WM_POWERBROADCAST ? TRUE : 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

ClockSetNotice::ClockSetNotice(QObject *parent)
    : QObject(parent)
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = noticeProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    // Fails harmlessly when an earlier notice registered it.
    ::RegisterClassW(&windowClass);
    // Top-level and never shown: a message-only window gets no broadcasts.
    const HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0,
                                          nullptr, nullptr, instance, nullptr);
    if (!window)
        return;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    mHandle = reinterpret_cast<qintptr>(window);
}

ClockSetNotice::~ClockSetNotice()
{
    if (mHandle != -1)
        ::DestroyWindow(reinterpret_cast<HWND>(mHandle));
}

bool ClockSetNotice::arm()
{
    return mHandle != -1;
}
