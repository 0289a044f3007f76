// The window layer's rules that need no display: keys, wheel, timer, modifiers, the
// text box's character filter, popup menu texts, file patterns and folders.
#include <gtest/gtest.h>

#include <FL/Enumerations.H>

#include "framework/parameter.h"
#include "graphics/fltk/window_rules.h"
#include "graphics/popup_menu.h"
#include "graphics/window_rules.h"

namespace {

TEST(KeyCodes, SpaceArrowsDigitsAndLettersOnly) {
    EXPECT_EQ(KeyCodeForFltkKey(' '), 0);
    EXPECT_EQ(KeyCodeForFltkKey(FL_Up), 1);
    EXPECT_EQ(KeyCodeForFltkKey(FL_Down), 2);
    EXPECT_EQ(KeyCodeForFltkKey(FL_Left), 3);
    EXPECT_EQ(KeyCodeForFltkKey(FL_Right), 4);
    EXPECT_EQ(KeyCodeForFltkKey('0'), 5);
    EXPECT_EQ(KeyCodeForFltkKey('9'), 14);
    EXPECT_EQ(KeyCodeForFltkKey('a'), 15);
    EXPECT_EQ(KeyCodeForFltkKey('z'), 40);
    EXPECT_EQ(KeyCodeForFltkKey('Q'), 15 + ('q' - 'a'));

    for (const int none : {FL_F + 1, FL_KP + '0', FL_KP + '9', FL_KP_Enter, FL_Enter, FL_Escape, FL_Tab,
                           FL_Shift_L, FL_Home, FL_BackSpace, int('.'), int('-'), int('/'), int('@')})
        EXPECT_EQ(KeyCodeForFltkKey(none), -1) << none;
}

TEST(Wheel, NotchesAreTruncatedSixteenBitDeltasOverOneTwenty) {
    EXPECT_EQ(WheelNotchesFromDelta(60), 0);
    EXPECT_EQ(WheelNotchesFromDelta(-240), -2);
    EXPECT_EQ(WheelNotchesFromDelta(120), 1);
    EXPECT_EQ(WheelNotchesFromDelta(239), 1);
    EXPECT_EQ(WheelNotchesFromDelta(-119), 0);
    EXPECT_EQ(WheelNotchesFromDelta(0x10000 + 240), 2); // only the low word counts
    EXPECT_EQ(WheelNotchesFromDelta(0xFF88), -1);       // 0xFF88 is -120 as a signed word

    // FLTK counts toward the user; the editor counts away.
    EXPECT_EQ(WheelNotchesFromFltk(1), -1);
    EXPECT_EQ(WheelNotchesFromFltk(-2), 2);
}

TEST(Timer, PeriodIsTruncatedMilliseconds) {
    EXPECT_EQ(TimerPeriodMs(25), 40);
    EXPECT_EQ(TimerPeriodMs(30), 33);
    EXPECT_EQ(TimerPeriodMs(60), 16);
    EXPECT_EQ(TimerPeriodMs(1000), 1);
    EXPECT_EQ(TimerPeriodMs(0), 40); // no rate: the editor's default
}

TEST(Modifiers, ButtonsAndKeysFromEventState) {
    const IModifierKeys leftShift = ModifiersFromFltkState(FL_BUTTON1 | FL_SHIFT);
    EXPECT_TRUE(leftShift.left);
    EXPECT_FALSE(leftShift.right);
    EXPECT_TRUE(leftShift.shift);
    EXPECT_FALSE(leftShift.control);
    EXPECT_FALSE(leftShift.alt);

    const IModifierKeys rightCtrlAlt = ModifiersFromFltkState(FL_BUTTON3 | FL_CTRL | FL_ALT);
    EXPECT_FALSE(rightCtrlAlt.left);
    EXPECT_TRUE(rightCtrlAlt.right);
    EXPECT_TRUE(rightCtrlAlt.control);
    EXPECT_TRUE(rightCtrlAlt.alt);

    // The middle button reaches controls as neither left nor right.
    const IModifierKeys middle = ModifiersFromFltkState(FL_BUTTON2 | FL_CAPS_LOCK | FL_META);
    EXPECT_FALSE(middle.left || middle.right || middle.shift || middle.control || middle.alt);
}

bool Accepts(int kind, const char* text) {
    for (const char* p = text; *p; ++p) {
        if (!TextBoxAcceptsChar(kind, static_cast<unsigned char>(*p)))
            return false;
    }
    return true;
}

TEST(TextBoxFilter, CharactersByParameterKind) {
    EXPECT_TRUE(Accepts(Number, "1.5"));
    EXPECT_TRUE(Accepts(Number, "-0.25+"));
    EXPECT_FALSE(TextBoxAcceptsChar(Number, 'e'));
    EXPECT_FALSE(TextBoxAcceptsChar(Number, ' '));

    EXPECT_TRUE(Accepts(Choice, "15"));
    EXPECT_FALSE(TextBoxAcceptsChar(Choice, '.'));
    EXPECT_TRUE(Accepts(Switch, "-+09"));
    EXPECT_FALSE(TextBoxAcceptsChar(Switch, 'O'));
    EXPECT_FALSE(TextBoxAcceptsChar(2, ','));
    EXPECT_FALSE(TextBoxAcceptsChar(Choice, 0x16)); // control characters such as Ctrl+V

    for (const int kind : {int(Unset), 5, 99})
        EXPECT_TRUE(Accepts(kind, "Hello, world: 1.5e3 \t")) << kind;
    for (const int kind : {int(Unset), int(Switch), 2, int(Choice), int(Number), 5})
        EXPECT_TRUE(TextBoxAcceptsChar(kind, '\b')) << kind;
}

TEST(PopupLines, NumberingFormats) {
    IPopupMenu menu;
    menu.InsertTextItem("first", -1, 0);
    menu.InsertTextItem("second", -1, 0);
    menu.InsertTextItem("text", -1, 0);

    menu.numbering = 2;
    std::vector<PopupLine> lines = BuildPopupLines(menu);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "01: first");
    EXPECT_EQ(lines[2].text, "03: text");
    EXPECT_EQ(lines[2].command, 3);

    menu.numbering = 1;
    EXPECT_EQ(BuildPopupLines(menu)[1].text, "2: second");
    menu.numbering = 3;
    EXPECT_EQ(BuildPopupLines(menu)[2].text, "003: text");
    menu.numbering = 0;
    EXPECT_EQ(BuildPopupLines(menu)[0].text, "first");
    menu.numbering = 4; // not a numbering
    EXPECT_EQ(BuildPopupLines(menu)[0].text, "first");
}

TEST(PopupLines, SeparatorsFlagsAndSubmenus) {
    IPopupMenu sub;
    IPopupMenu menu;
    menu.InsertSeparator(-1); // nothing above it: dropped
    menu.InsertTextItem("a", -1, IPopupMenuItem::Disabled);
    menu.InsertSeparator(-1);
    menu.InsertTextItem("b", -1, IPopupMenuItem::Title | IPopupMenuItem::Checked);
    auto withSub = std::make_unique<IPopupMenuItem>();
    withSub->text = "more";
    withSub->submenu = &sub;
    menu.InsertItem(std::move(withSub), -1);
    menu.InsertTextItem("", -1, 0);
    menu.numbering = 1;

    const std::vector<PopupLine> lines = BuildPopupLines(menu);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "2: a");
    EXPECT_EQ(lines[0].command, 2);
    EXPECT_TRUE(lines[0].divider);
    EXPECT_TRUE(lines[0].inactive);
    EXPECT_FALSE(lines[0].checked);

    EXPECT_EQ(lines[1].text, "4: b");
    EXPECT_FALSE(lines[1].divider);
    EXPECT_TRUE(lines[1].inactive);
    EXPECT_TRUE(lines[1].checked);

    // The item with a submenu is left out but keeps its number.
    EXPECT_EQ(lines[2].text, "6: ");
    EXPECT_EQ(lines[2].command, 6);
    EXPECT_FALSE(lines[2].inactive || lines[2].checked);

    IPopupMenu empty;
    EXPECT_TRUE(BuildPopupLines(empty).empty());
}

TEST(PopupLines, LabelsAreShownAsWritten) {
    EXPECT_EQ(EscapeMenuLabel("R&B @ home"), "R&&B @@ home");
    EXPECT_EQ(EscapeMenuLabel("a/b_c\td"), "a/b_c\td"); // hand-built items read no paths
    EXPECT_EQ(EscapeMenuLabel(""), "");
}

TEST(FileChooser, PatternsFromExtensionLists) {
    EXPECT_EQ(FileChooserPattern("wav aif"), "*.{wav,aif}");
    EXPECT_EQ(FileChooserPattern("wav"), "*.wav");
    EXPECT_EQ(FileChooserPattern("  wav   aif "), "*.{wav,aif}");
    EXPECT_EQ(FileChooserPattern(""), "");
    EXPECT_EQ(FileChooserPattern(nullptr), "");
    EXPECT_EQ(FirstExtension(" aif wav"), "aif");
    EXPECT_EQ(FirstExtension(nullptr), "");
}

TEST(Folders, UpToTheLastSlashWithinTheLimit) {
    EXPECT_EQ(FolderOfPath("/usr/local/bin/vt4r", 256), "/usr/local/bin/");
    EXPECT_EQ(FolderOfPath("/vt4r", 256), "/");
    EXPECT_EQ(FolderOfPath("vt4r", 256), "");
    EXPECT_EQ(FolderOfPath("", 256), "");

    const std::string deep = "/" + std::string(254, 'd') + "/vt4r"; // folder of 256 characters
    EXPECT_EQ(FolderOfPath(deep, 256).size(), 256u);
    const std::string deeper = "/" + std::string(255, 'd') + "/vt4r"; // 257: not cut, refused
    EXPECT_EQ(FolderOfPath(deeper, 256), "");
}

TEST(RepaintAroundTextBox, BoundingBoxOfTheRest) {
    const IBounds area{10, 10, 110, 60};
    EXPECT_TRUE(AreaWithoutHole(area, {0, 0, 200, 200}).Empty());
    EXPECT_TRUE(AreaWithoutHole(area, area).Empty());
    EXPECT_EQ(AreaWithoutHole(area, {0, 0, 200, 30}), (IBounds{10, 30, 110, 60}));  // top strip
    EXPECT_EQ(AreaWithoutHole(area, {0, 40, 200, 90}), (IBounds{10, 10, 110, 40})); // bottom strip
    EXPECT_EQ(AreaWithoutHole(area, {5, 5, 50, 65}), (IBounds{50, 10, 110, 60}));   // left strip
    EXPECT_EQ(AreaWithoutHole(area, {90, 0, 120, 60}), (IBounds{10, 10, 90, 60}));  // right strip
    EXPECT_EQ(AreaWithoutHole(area, {0, 20, 200, 30}), area);                       // a band across
    EXPECT_EQ(AreaWithoutHole(area, {20, 20, 30, 30}), area);                       // a hole inside
    EXPECT_EQ(AreaWithoutHole(area, {110, 10, 150, 60}), area);                     // touching only
    EXPECT_EQ(AreaWithoutHole(area, {}), area);
}

} // namespace
