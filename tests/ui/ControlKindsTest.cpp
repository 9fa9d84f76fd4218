// Layout items become controls by their kind, through the most derived panel.
#include <gtest/gtest.h>

#include <typeinfo>

#include "ui/BLDragger.h"
#include "ui/BLMeters.h"
#include "ui/BLScrolls.h"
#include "ui/PWImageCtrls.h"
#include "ui/PWPanelCtrls.h"
#include "ui/PWpopup.h"
#include "ui/TestSkin.h"

namespace {

// The class a control of a panel was built as.
const std::type_info& kindOf(const kelPanel& panel, int16_t index)
{
    const kelPanelControl& control = *panel.control(index);
    return typeid(control);
}

using namespace testskin;

class ControlKinds : public SkinTest {};

TEST_F(ControlKinds, TheApplicationPanelCreatesItsOwnClassesAndFallsBackOnTheFramework)
{
    struct Expect {
        int16_t item;
        const std::type_info& type;
    };
    const Expect expected[] = {
        {kBackItem, typeid(PWPanelBackpaneControl)},
        {kButtonItem, typeid(PWPanelButtonControl)},
        {kStaticCastItem, typeid(PWPanelStaticCastControl)},
        {kImageItem, typeid(PWPanelImageControl)},
        {kCheckItem, typeid(PWPanelCheckControl)},
        {kRadioA, typeid(PWPanelRadioControl)},
        {kTextItem, typeid(PWPanelTextControl)},
        {kScrollItem, typeid(BLScroll)},
        {kRoundItem, typeid(BLRoundScroll)},
        {kLevelItem, typeid(BLLevelBarControl)},
        {kProgressItem, typeid(BLProgressControl)},
        {kRotorItem, typeid(BLRotorControl)},
        {kFluidItem, typeid(PWPanelFluidFilmControl)},
        {kRotaryItem, typeid(PWPanelRotaryControl)},
        {kFilmItem, typeid(panProImagesFilmControl)},
        {kPopupItem, typeid(PWpopupControl)},
        {kDraggerItem, typeid(BLDraggerCtrl)},
        {kReceiverItem, typeid(BLDraggerReceiverCtrl)},
        {kImageBarItem, typeid(imageBarControl)},
        {kSpectreItem, typeid(PWPanelSpectreControl)},
        {kImageIDItem, typeid(imageIDControl)},
        {kImagePtrItem, typeid(imagePtrControl)},
        {kHiliteItem, typeid(panProHilButtonControl)},
        {kStdButtonItem, typeid(kelPaCoStd_StandardButton)},
        {kUnknownKindItem, typeid(kelPanelControl)},
    };
    for (const Expect& e : expected) {
        kelPanelControl* c = panel.control(e.item);
        EXPECT_EQ(typeid(*c), e.type) << "item " << e.item;
        EXPECT_EQ(c->layout, panel.layouts[0]);
        EXPECT_EQ(c->item, e.item);
    }
    EXPECT_EQ(panel.mainLayout, panel.layouts[0]);
    // The unknown kind keeps the placeholder with the item's geometry and kind.
    kelPanelControl* unknown = panel.control(kUnknownKindItem);
    EXPECT_EQ(unknown->kind, 35);
    EXPECT_EQ(unknown->rect, kelRect(500, 240, 520, 260));
    EXPECT_FALSE(unknown->click());
}

TEST_F(ControlKinds, StatesMakeControlsPassiveOrHidden)
{
    EXPECT_FALSE(panel.control(kBackItem)->active);  // shown, passive
    EXPECT_TRUE(panel.control(kBackItem)->visible);
    EXPECT_TRUE(panel.control(kButtonItem)->active);
    EXPECT_FALSE(panel.control(kHiddenItem)->visible);
    EXPECT_EQ(panel.controlCount, kItemCount);  // the last item makes a real control
}

TEST(ControlKindsByPanel, EachPanelClassKnowsItsOwnKindsOnly)
{
    Stage stage;
    Skin skin;
    KelLayout layout;
    layout.Set(&skin.casts, 1);
    layout.Load();
    kelPanel plain;
    kelPanelPro pro;
    plain.attachLayout(&layout, 0);
    pro.attachLayout(&layout, 0);
    // kelPanel: standard kinds only; the background kind is its level bar.
    EXPECT_EQ(kindOf(plain, kBackItem), typeid(kelPaCoStd_StandardLevelBar));
    EXPECT_EQ(kindOf(plain, kStaticCastItem), typeid(kelPaCoStd_StaticCast));
    EXPECT_EQ(kindOf(plain, kButtonItem), typeid(kelPanelControl));
    EXPECT_EQ(kindOf(plain, kStdButtonItem), typeid(kelPaCoStd_StandardButton));
    // kelPanelPro adds 30 to 39.
    EXPECT_EQ(kindOf(pro, kButtonItem), typeid(panProButtonControl));
    EXPECT_EQ(kindOf(pro, kScrollItem), typeid(panProScrollControl));
    EXPECT_EQ(kindOf(pro, kTextItem), typeid(panProTextControl));
    EXPECT_EQ(kindOf(pro, kRadioA), typeid(panProRadioControl));
    EXPECT_EQ(kindOf(pro, kPopupItem), typeid(kelPanelControl));
    EXPECT_EQ(kindOf(pro, kRoundItem), typeid(kelPanelControl));
}

TEST(ControlKindsByPanel, LayoutsAfterTheFirstNumberTheirControlsFrom50And100)
{
    Stage stage;
    Skin skin;
    PWPanelClass p;
    const kelRect stageRect(0, 0, 640, 480);
    p.attachLayouts(2, 2, 2, &skin.casts, &stageRect);
    EXPECT_EQ(p.control(1)->item, 1);
    EXPECT_EQ(p.control(51)->item, 1);
    EXPECT_EQ(p.control(51)->layout, p.layouts[1]);
    EXPECT_EQ(p.control(101)->layout, p.layouts[2]);
    EXPECT_EQ(kindOf(p, 101), typeid(PWPanelButtonControl));
    EXPECT_EQ(p.controlCount, 102);
    // A layout that does not exist contributes nothing.
    PWPanelClass missing;
    missing.attachLayouts(77, -1, -1, &skin.casts, &stageRect);
    EXPECT_EQ(missing.controlCount, 0);
    ASSERT_NE(missing.layouts[0], nullptr);
    EXPECT_EQ(missing.layouts[0]->itemsCount, 0);
}

TEST_F(ControlKinds, HelpNumbersComeFromAux7ButNotFromTheBackground)
{
    int16_t help = 99;
    kelGlo.mouseX = 300;
    kelGlo.mouseY = 400;  // on the background only (whose aux 7 names a picture)
    panel.getHelp(&help);
    EXPECT_EQ(help, -1);
    kelGlo.mouseX = 15;
    kelGlo.mouseY = 15;
    panel.getHelp(&help);
    EXPECT_EQ(help, 5);
    kelGlo.mouseX = 95;
    panel.getHelp(&help);
    EXPECT_EQ(help, 6);
    panel.visible = 0;
    help = 42;
    panel.getHelp(&help);
    EXPECT_EQ(help, 42);
}

}  // namespace
