#pragma once
#include <cstdint>
#include <memory>

#include "framework/standalone.h"

#ifdef _WIN32
class IEditorWindow;
#else
class IX11EditorWindow;
#endif

// The editor as a plug-in format shows it in a host's window: the standalone's panel on a
// plug-in object of its own that never processes audio. Values and the needle come in
// from the format (ShowValue, ShowNeedle); the editor's edits leave through EditorEdits as
// gestures with plain values. Everything here runs on the host's main (UI) thread.
namespace vt4r_formats {

class EditorEdits {
  public:
    virtual ~EditorEdits() = default;
    virtual void BeginEdit(std::int32_t index) = 0;
    virtual void Edit(std::int32_t index, double plain) = 0;
    virtual void EndEdit(std::int32_t index) = 0;
    // From the bridge's own timer, where the window runs one (TicksItself): time to show
    // the host's values and the needle.
    virtual void Tick() {}
};

struct FollowTimer;

class EditorBridge : public IHostEdits {
  public:
    explicit EditorBridge(EditorEdits& edits);
    ~EditorBridge() override;
    EditorBridge(const EditorBridge&) = delete;
    EditorBridge& operator=(const EditorBridge&) = delete;

    // `parent` is the host's window (an X11 Window id cast to a pointer; an HWND on Windows).
    // False when there is no display or no such window.
    bool Open(void* parent);
    void Close();
    bool IsOpen() const;
    // The host-side window of the editor (an X11 Window id as a pointer), null when closed.
    void* Window() const;
    // The window's size in pixels: the editor's at its scale.
    int Width() const;
    int Height() const;
    // Draws the editor at `scale` (1 to 3, see ConformEditorScale); an open window resizes.
    void SetScale(double scale);

    // Moves the control bound to `index` (plain value); Bypass has none.
    void ShowValue(std::int32_t index, double plain);
    void ShowNeedle(double position);
    // Handles the window's events and runs its repaint timer; call at least 25 times a second.
    // 0 while open, 1 once the window is gone. (On Windows the host's message loop does
    // that: Idle only answers.)
    int Idle();
    // The display connection to watch for events, -1 when closed (always on Windows).
    int EventFd() const;
    // True where the bridge runs a timer of its own while open and calls EditorEdits::Tick
    // from it (Windows, whose hosts offer plug-ins no run loop); false where the adapter
    // must call Idle from the host's timer.
    static bool TicksItself();

    IEffectStandalone& Plugin() { return *mPlugin; }

    // ---- IHostEdits: the editor's own edits ----
    void BeginEdit(std::int32_t index) override;
    void Edit(std::int32_t index, double normalised) override;
    void EndEdit(std::int32_t index) override;

  private:
    friend struct FollowTimer; // the Windows bridge's timer procedure
    EditorEdits& mEdits;
    std::unique_ptr<IEffectStandalone> mPlugin;
#ifdef _WIN32
    IEditorWindow* mView = nullptr; // owned by mPlugin
#else
    IX11EditorWindow* mView = nullptr; // owned by mPlugin
#endif
    bool mOpen = false;
};

} // namespace vt4r_formats
