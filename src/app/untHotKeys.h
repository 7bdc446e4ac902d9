#pragma once
// The six system-wide hot keys: Ctrl+Alt with Left, Right, Up, Down, End and
// Home. On X11 they are grabbed on the root window (also with NumLock and
// CapsLock on, which X counts as modifiers); a key another program holds, or
// a desktop without X11 (Wayland, offscreen), leaves that key unregistered
// without notice. Main thread only.

#include <QAbstractNativeEventFilter>
#include <array>
#include <functional>

namespace zv2::app {

// Indexes of the hot keys, in the order they are registered.
enum THotKey : int { hkPrevious = 0, hkNext, hkVolumeUp, hkVolumeDown, hkTogglePlay, hkShowHide, hkCount };

class THotKeys : public QAbstractNativeEventFilter {
public:
    // `onHotKey` runs on the main thread with the index of the key pressed.
    explicit THotKeys(std::function<void(int)> onHotKey);
    ~THotKeys() override; // unregisters every key it registered

    // Number of keys registered (0 where there is no X11 connection).
    int Register();
    void Unregister();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void(int)> OnHotKey_;
    std::array<unsigned, hkCount> KeyCodes_{}; // 0: not registered
    void* Connection_ = nullptr;
    unsigned Root_ = 0;
    bool Filtering_ = false;
};

} // namespace zv2::app
