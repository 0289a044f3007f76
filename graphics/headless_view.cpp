#include "graphics/headless_view.h"

#include "graphics/control.h"
#include "graphics/text_entry.h"

bool IHeadlessEditorView::PresentArea(const IBounds& rect) {
    mPresented.push_back(rect);
    return true;
}

void IHeadlessEditorView::CancelTextEntry() {
    ++mCancelCount;
    mHasTextEntry = false;
}

IPopupMenu* IHeadlessEditorView::ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) {
    ClearMouseCapture();
    MenuRequest request;
    request.rect = rect;
    for (int i = 0; i < menu->ItemCount(); ++i) {
        request.items.push_back(menu->Item(i)->text);
        request.flags.push_back(menu->Item(i)->flags);
    }
    mMenus.push_back(std::move(request));
    const int choice = mNextMenuChoice;
    mNextMenuChoice = -1;
    if (choice < 0 || choice >= menu->ItemCount())
        return nullptr;
    menu->chosen = choice;
    return menu;
}

void IHeadlessEditorView::OpenTextEntry(IControl* control, const ITextStyle&, const IBounds& rect,
                                        const char* text, IParameter* param) {
    if (!control || mHasTextEntry)
        return;
    mTextEntry = TextEntry{control, param, rect, text ? text : ""};
    mHasTextEntry = true;
}

bool IHeadlessEditorView::CommitTextEntry(const char* text) {
    if (!mHasTextEntry)
        return false;
    mHasTextEntry = false;
    CommitEnteredText(mTextEntry.control, mTextEntry.param, text);
    return true;
}

bool IHeadlessEditorView::Tick() {
    IBounds area;
    if (!CollectDirtyArea(area))
        return false;
    PaintArea(area);
    return true;
}

void IHeadlessEditorView::PaintAll() {
    MarkAllChanged();
    PaintArea({0, 0, Width(), Height()});
}

void IHeadlessEditorView::ClearRecords() {
    mPresented.clear();
    mMenus.clear();
    mCancelCount = 0;
}
