#pragma once
#include <memory>
#include <string>
#include <vector>

class IPopupMenu;

struct IPopupMenuItem {
    enum Flags : int { Disabled = 1, Title = 2, Checked = 4, Separator = 8 };

    std::string text;
    IPopupMenu* submenu = nullptr; // never set by this editor
    int flags = 0;
};

// A popup menu as the view builds it for value entry; the window layer shows it
// and writes the chosen index back.
class IPopupMenu {
  public:
    IPopupMenu() = default;
    IPopupMenu(const IPopupMenu&) = delete;
    IPopupMenu& operator=(const IPopupMenu&) = delete;
    virtual ~IPopupMenu() = default;

    // index -1 appends; any other index is limited to 0..count.
    virtual IPopupMenuItem* InsertTextItem(const char* text, int index, int flags);
    virtual IPopupMenuItem* InsertItem(std::unique_ptr<IPopupMenuItem> item, int index);
    virtual IPopupMenuItem* InsertSeparator(int index);

    int ItemCount() const { return static_cast<int>(mItems.size()); }
    const IPopupMenuItem* Item(int index) const;

    int numbering = 0; // 0 none, or 1, 2, 3 digits before each text
    int chosen = -1;   // -1 until the user picks an item

  private:
    std::vector<std::unique_ptr<IPopupMenuItem>> mItems;
};
