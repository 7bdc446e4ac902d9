#include "app/untHotKeys.h"

#include <QGuiApplication>
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace zv2::app {

namespace {

// X keysyms of the keys, in hot key order.
constexpr std::array<xcb_keysym_t, hkCount> kKeySyms = {0xff51 /* Left */, 0xff53 /* Right */, 0xff52 /* Up */,
                                                        0xff54 /* Down */, 0xff57 /* End */,   0xff50 /* Home */};
constexpr std::uint16_t kModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1; // Ctrl+Alt
// NumLock (Mod2) and CapsLock (Lock) must not stop a hot key.
constexpr std::array<std::uint16_t, 4> kIgnored = {0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK,
                                                   XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};

xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

THotKeys::THotKeys(std::function<void(int)> onHotKey) : OnHotKey_(std::move(onHotKey)) {}

THotKeys::~THotKeys() {
    Unregister();
}

int THotKeys::Register() {
    auto* c = X11Connection();
    if (!c)
        return 0;
    Connection_ = c;
    Root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    if (!symbols)
        return 0;
    int registered = 0;
    for (int i = 0; i < hkCount; ++i) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, kKeySyms[i]);
        if (!codes || codes[0] == XCB_NO_SYMBOL) {
            free(codes);
            continue;
        }
        const xcb_keycode_t code = codes[0];
        free(codes);
        bool ok = true;
        for (auto extra : kIgnored) {
            auto cookie =
                xcb_grab_key_checked(c, 1, Root_, kModifiers | extra, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
                free(error); // held by another program: this key stays unregistered
                ok = false;
            }
        }
        if (ok) {
            KeyCodes_[i] = code;
            ++registered;
        } else {
            for (auto extra : kIgnored)
                xcb_ungrab_key(c, code, Root_, kModifiers | extra);
        }
    }
    xcb_key_symbols_free(symbols);
    xcb_flush(c);
    if (registered > 0 && !Filtering_) {
        qGuiApp->installNativeEventFilter(this);
        Filtering_ = true;
    }
    return registered;
}

void THotKeys::Unregister() {
    auto* c = static_cast<xcb_connection_t*>(Connection_);
    if (c && X11Connection() == c) {
        for (auto& code : KeyCodes_) {
            if (code == 0)
                continue;
            for (auto extra : kIgnored)
                xcb_ungrab_key(c, static_cast<xcb_keycode_t>(code), Root_, kModifiers | extra);
            code = 0;
        }
        xcb_flush(c);
    }
    if (Filtering_ && qGuiApp) {
        qGuiApp->removeNativeEventFilter(this);
        Filtering_ = false;
    }
}

bool THotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if ((press->state & kModifiers) != kModifiers)
        return false;
    for (int i = 0; i < hkCount; ++i) {
        if (KeyCodes_[i] != 0 && KeyCodes_[i] == press->detail) {
            if (OnHotKey_)
                OnHotKey_(i);
            return true;
        }
    }
    return false;
}

} // namespace zv2::app
