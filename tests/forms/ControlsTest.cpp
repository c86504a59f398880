#include "forms/Controls.h"

#include <gtest/gtest.h>

namespace veltrum::forms {
namespace {

TEST(ComboBoxTest, SelectionChangeRunsClickHandlerOnce) {
    ComboBox list("Combo1");
    for (const char* entry : {"MagTrain", "Auto"})
        list.addItem(entry);
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });

    list.setListIndex(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list.text(), "Auto");
    list.setListIndex(1);
    EXPECT_EQ(clicks, 1);
    list.setListIndex(-1);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(list.text(), "");
    EXPECT_THROW(list.setListIndex(2), std::out_of_range);
}

TEST(ComboBoxTest, TypingRunsNoHandlerAndClearsTheSelection) {
    ComboBox list("Subject_In");
    list.addItem("B1");
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });
    list.select(0);
    list.setText("B2");
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list.listIndex(), -1);
    // Picking the same entry again is a change of selection, so it reloads.
    list.select(0);
    EXPECT_EQ(clicks, 2);
}

TEST(ControlsTest, HiddenControlsIgnoreTheOperator) {
    CommandButton button("Command1");
    PictureBox picture("Image1", 3);
    int clicks = 0;
    int touched = 0;
    button.setOnClick([&] { ++clicks; });
    picture.setOnMouseDown([&](int index) { touched = index; });
    button.setVisible(false);
    picture.setVisible(false);
    button.click();
    picture.mouseDown();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(touched, 0);
    picture.setVisible(true);
    picture.mouseDown();
    EXPECT_EQ(touched, 3);
}

TEST(ControlsTest, ChangesRepaintsAndFocusReachTheView) {
    std::vector<std::string> changed;
    std::vector<std::string> painted;
    std::vector<std::string> focused;
    ControlEvents events{[&](const Control& c) { changed.push_back(c.objectName()); },
                         [&](const Control& c) { painted.push_back(c.objectName()); },
                         [&](const Control& c) { focused.push_back(c.objectName()); }};
    Label label("Label1");
    TextBox box("Text1");
    label.attach(&events);
    box.attach(&events);
    label.setCaption("Hopper Up");
    box.setText("12345");
    box.setText("12345");
    label.repaint();
    box.setFocus();
    EXPECT_EQ(changed, (std::vector<std::string>{"Label1", "Text1"}));
    EXPECT_EQ(painted, (std::vector<std::string>{"Label1"}));
    EXPECT_EQ(focused, (std::vector<std::string>{"Text1"}));
}

} // namespace
} // namespace veltrum::forms
