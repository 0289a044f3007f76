#include "graphics/popup_menu.h"

#include <algorithm>

IPopupMenuItem* IPopupMenu::InsertTextItem(const char* text, int index, int flags) {
    auto item = std::make_unique<IPopupMenuItem>();
    item->text = text ? text : "";
    item->flags = flags;
    return InsertItem(std::move(item), index);
}

IPopupMenuItem* IPopupMenu::InsertItem(std::unique_ptr<IPopupMenuItem> item, int index) {
    IPopupMenuItem* raw = item.get();
    if (index == -1) {
        mItems.push_back(std::move(item));
    } else {
        const int at = std::clamp(index, 0, ItemCount());
        mItems.insert(mItems.begin() + at, std::move(item));
    }
    return raw;
}

IPopupMenuItem* IPopupMenu::InsertSeparator(int index) {
    auto item = std::make_unique<IPopupMenuItem>();
    item->flags = IPopupMenuItem::Separator;
    return InsertItem(std::move(item), index);
}

const IPopupMenuItem* IPopupMenu::Item(int index) const {
    if (index < 0 || index >= ItemCount())
        return nullptr;
    return mItems[static_cast<std::size_t>(index)].get();
}
