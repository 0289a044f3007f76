// The Preferences window's widgets show the dialog's state and pass the
// user's picks on. Needs an X display (scripts/with-xvfb.sh); skips without.
#include "preferences_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Item.H>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fake_services.h"

namespace {

using D = PreferencesDialog;

class PreferencesWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || display[0] == '\0') {
            GTEST_SKIP() << "no X display; run under scripts/with-xvfb.sh";
        }
        fake.drivers[0] = {{"Default Device", 2, 2, {44100, 48000}}, {"A&B /dev_1\t@C", 4, 4, {44100}}};
        fake.drivers[1] = {{"system", 2, 2, {48000}}};
        fake.startUp();
        dialog.open();
        view = std::make_unique<PreferencesWindow>(dialog);
        view->window()->show();
        Fl::check();
        fake.calls.clear();
    }
    void TearDown() override {
        view.reset();
        Fl::check();
    }

    void pick(int id, int position) {
        Fl_Choice* choice = view->choice(id);
        choice->value(position);
        choice->do_callback();
        Fl::check();
    }

    AppSettings settings;
    AppSettings snapshot;
    FakeServices fake{settings};
    PreferencesDialog dialog{settings, snapshot, fake};
    std::unique_ptr<PreferencesWindow> view;
};

TEST_F(PreferencesWindowTest, ShowsEveryListAsTheDialogHoldsIt) {
    EXPECT_STREQ(view->window()->label(), "Preferences");
    EXPECT_EQ(view->window()->w(), 335);
    EXPECT_EQ(view->window()->h(), 502);
    for (int id : D::kListIds) {
        const D::ListState& state = dialog.list(id);
        Fl_Choice* choice = view->choice(id);
        ASSERT_NE(choice, nullptr) << id;
        ASSERT_EQ(choice->size(), static_cast<int>(state.items.size()) + 1) << id;
        for (std::size_t i = 0; i < state.items.size(); ++i) {
            EXPECT_EQ(std::string(choice->menu()[i].label()), state.items[i]) << id;
        }
        EXPECT_EQ(choice->value(), state.selected) << id;
        EXPECT_EQ(choice->active() != 0, state.enabled) << id;
    }
    // Names with menu syntax in them are items of their own, shown raw.
    Fl_Choice* outputs = view->choice(D::kOutputDevice);
    EXPECT_STREQ(outputs->menu()[1].label(), "A&B /dev_1\t@C");
    EXPECT_NE(outputs->menu()[1].labeltype(), FL_NORMAL_LABEL);
    EXPECT_FALSE(view->controlPanel()->active());
    EXPECT_STREQ(view->controlPanel()->label(), "ASIO Config...");
}

TEST_F(PreferencesWindowTest, PicksReachTheDialogAndTheWidgetsFollowIt) {
    pick(D::kSignalVectorSize, 2); // "64"
    pick(D::kIoVectorSize, 0);     // "32"
    EXPECT_STREQ(settings.iovs, "32");
    EXPECT_STREQ(settings.sigvs, "16");
    EXPECT_EQ(view->choice(D::kSignalVectorSize)->value(), -1) << "an empty box";
    EXPECT_EQ(view->choice(D::kSignalVectorSize)->mvalue(), nullptr);

    pick(D::kInput2, 0);
    EXPECT_EQ(view->choice(D::kInput2)->value(), 1) << "the right channel snaps back";

    pick(D::kDriverType, 1);
    EXPECT_EQ(settings.driver, 1);
    EXPECT_FALSE(view->choice(D::kInputDevice)->active());
    EXPECT_EQ(view->choice(D::kSamplingRate)->size(), 2);

    view->monoInput()->value(1);
    view->monoInput()->do_callback();
    EXPECT_EQ(settings.monoinput, 1);
}

TEST_F(PreferencesWindowTest, OkEndsWithOneAndKeepsTheChanges) {
    pick(D::kSamplingRate, 1);
    view->okButton()->do_callback();
    EXPECT_FALSE(view->window()->shown());
    EXPECT_EQ(view->result(), 1);
    EXPECT_STREQ(settings.sr, "48000");
}

TEST_F(PreferencesWindowTest, CloseBoxActsAsCancel) {
    pick(D::kSamplingRate, 1);
    view->window()->do_callback();
    EXPECT_FALSE(view->window()->shown());
    EXPECT_EQ(view->result(), 2);
    EXPECT_STREQ(settings.sr, "44100");
    EXPECT_EQ(fake.calls.back(), "reopenStream");
}

} // namespace
