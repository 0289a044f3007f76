#pragma once
#include <string>
#include <vector>

#include "graphics/editor_view.h"

// An editor view without a window, for tests, tools and benchmarks. It presents
// nothing but records what it was asked to present and which value entries it was
// asked to open; popup menus answer a choice set beforehand.
class IHeadlessEditorView : public IEditorView {
  public:
    struct TextEntry {
        IControl* control = nullptr;
        IParameter* param = nullptr;
        IBounds rect;
        std::string text;
    };
    struct MenuRequest {
        IBounds rect;
        std::vector<std::string> items;
        std::vector<int> flags;
    };

    using IEditorView::IEditorView;

    bool PresentArea(const IBounds& rect) override;
    void CancelTextEntry() override;
    IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) override;
    void OpenTextEntry(IControl* control, const ITextStyle& style, const IBounds& rect, const char* text,
                       IParameter* param) override;
    void HostFolder(std::string& out) override { out.clear(); }
    void ProgramFolder(std::string& out) override { out.clear(); }
    void ChooseFile(std::string& out, int, std::string&, const char*) override { out.clear(); }
    bool ChooseColour(IColour&, const char*) override { return false; }
    bool OpenWebLink(const char*, const char*, const char*, const char*) override { return false; }
    void* OpenEditorWindow(void*) override { return nullptr; }
    void CloseEditorWindow() override {}
    void* WindowHandle() override { return nullptr; }
    RasterBitmap* LoadPlatformBitmap(int id, const char* name) override { return LoadModuleBitmap(id, name); }

    // What the window layer's timer does: paint whatever is dirty. True when it painted.
    bool Tick();
    // Marks everything and paints the whole editor, as opening the window does.
    void PaintAll();

    // Commits `text` to the open text entry as pressing Enter in the text box would.
    // False when no entry is open.
    bool CommitTextEntry(const char* text);

    // The next popup menu answers this item (-1: dismissed without a choice).
    void SetNextMenuChoice(int index) { mNextMenuChoice = index; }

    const std::vector<IBounds>& Presented() const { return mPresented; }
    const std::vector<MenuRequest>& Menus() const { return mMenus; }
    bool HasTextEntry() const { return mHasTextEntry; }
    const TextEntry& LastTextEntry() const { return mTextEntry; }
    int CancelCount() const { return mCancelCount; }
    void ClearRecords();

  private:
    std::vector<IBounds> mPresented;
    std::vector<MenuRequest> mMenus;
    TextEntry mTextEntry;
    bool mHasTextEntry = false;
    int mNextMenuChoice = -1;
    int mCancelCount = 0;
};
