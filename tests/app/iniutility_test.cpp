// The placement text on a real top-level window: partial and extra fields,
// states folded into the first show, conversion errors, the work area offset.
#include "app/iniutility.h"
#include "framework/textutil.h"

#include <gtest/gtest.h>

namespace {

// A hidden, resizable top-level window at 100, 120 of 300 x 200 pixels.
class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KalvexPlacementTest";
        RegisterClassA(&wc);
        Window = CreateWindowExA(0, wc.lpszClassName, "placement", WS_OVERLAPPEDWINDOW, 100, 120, 300, 200,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, Window);
    }
    void TearDown() override { DestroyWindow(Window); }

    RECT Bounds() const
    {
        RECT r{};
        GetWindowRect(Window, &r);
        return r;
    }
    HWND Window = nullptr;
};

std::string Text(const RECT &r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// Sets the primary work area for one test and restores it after.
class TWorkArea {
public:
    explicit TWorkArea(const RECT &area)
    {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &FSaved, 0);
        RECT r = area;
        FSet = SystemParametersInfoA(SPI_SETWORKAREA, 0, &r, 0) != FALSE;
    }
    ~TWorkArea() { SystemParametersInfoA(SPI_SETWORKAREA, 0, &FSaved, 0); }
    bool Set() const { return FSet; }

private:
    RECT FSaved{};
    bool FSet = false;
};

}  // namespace

TEST_F(Placement, FieldsSetEdgesInOrderOnAHiddenWindow)
{
    EXPECT_EQ("100,120,300,200,0", GetWindowPlacementText(Window));
    const struct {
        const char *text;
        const char *bounds;  // left, top, right, bottom afterwards
        const char *placement;
    } cases[] = {
        {"", "100,120,400,320", "100,120,300,200,0"},
        {"10,20", "10,20,400,320", "10,20,390,300,0"},  // right and bottom stay
        {"10,20,250", "10,20,260,320", "10,20,250,300,0"},
        {"10,20,250,150", "10,20,260,170", "10,20,250,150,0"},
        {"192,112,640,480,0", "192,112,832,592", "192,112,640,480,0"},
        {"10,20,250,150,0,99,abc", "10,20,260,170", "10,20,250,150,0"},  // after five: ignored
        {"\"10\" 20 , 250,150", "10,20,260,170", "10,20,250,150,0"},
        {"$10,0x20,x12C,0XC8", "16,32,316,232", "16,32,300,200,0"},
        {"-50,-40,300,200,7", "-50,-40,250,160", "-50,-40,300,200,0"},  // state 7 counts as 0
    };
    for (const auto &c : cases) {
        SetWindowPos(Window, nullptr, 100, 120, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(SW_SHOWNORMAL, SetWindowPlacementText(Window, c.text)) << c.text;
        EXPECT_EQ(c.bounds, Text(Bounds())) << c.text;
        EXPECT_EQ(c.placement, GetWindowPlacementText(Window)) << c.text;
        EXPECT_FALSE(IsWindowVisible(Window)) << c.text;
    }
}

TEST_F(Placement, AFieldThatIsNoIntegerRaisesTheConversionErrorAndChangesNothing)
{
    const struct {
        const char *text, *message;
    } cases[] = {
        {"10,abc", "'abc' は整数ではありません"},
        {"10,,20", "'' は整数ではありません"},
        {"1,2,3,4,1.0", "'1.0' は整数ではありません"},
        {"1 2 3 4x", "'4x' は整数ではありません"},
        {"1,2,2147483648", "'2147483648' は整数ではありません"},
    };
    for (const auto &c : cases) {
        std::string message;
        try {
            SetWindowPlacementText(Window, c.text);
        } catch (const EConvertError &e) {
            message = e.what();
        }
        EXPECT_EQ(c.message, message) << c.text;
        EXPECT_EQ("100,120,400,320", Text(Bounds())) << c.text;
    }
}

TEST_F(Placement, MaximisedIsFoldedIntoTheFirstShowAndRestoresToTheNormalRectangle)
{
    EXPECT_EQ(SW_SHOWMAXIMIZED, SetWindowPlacementText(Window, "50,60,300,200,2"));
    EXPECT_FALSE(IsWindowVisible(Window));
    EXPECT_FALSE(IsZoomed(Window));
    ShowWindow(Window, SW_SHOWMAXIMIZED);
    EXPECT_TRUE(IsZoomed(Window));
    EXPECT_EQ("50,60,300,200,2", GetWindowPlacementText(Window));
    ShowWindow(Window, SW_RESTORE);
    EXPECT_EQ("50,60,350,260", Text(Bounds()));
}

TEST_F(Placement, MinimisedIsFoldedIntoTheFirstShowAndSavedAsOne)
{
    EXPECT_EQ(SW_SHOWMINIMIZED, SetWindowPlacementText(Window, "50,60,300,200,1"));
    EXPECT_FALSE(IsIconic(Window));
    ShowWindow(Window, SW_SHOWMINIMIZED);
    EXPECT_TRUE(IsIconic(Window));
    EXPECT_EQ("50,60,300,200,1", GetWindowPlacementText(Window));
    // Two fields on a minimised window move its normal rectangle and keep the state.
    EXPECT_EQ(SW_SHOWMINIMIZED, SetWindowPlacementText(Window, "70,80"));
    EXPECT_TRUE(IsIconic(Window));
    EXPECT_EQ("70,80,280,180,1", GetWindowPlacementText(Window));
}

TEST_F(Placement, AVisibleWindowTakesTheStateAtOnce)
{
    ShowWindow(Window, SW_SHOWMAXIMIZED);
    ASSERT_TRUE(IsZoomed(Window));
    EXPECT_EQ(SW_SHOWNORMAL, SetWindowPlacementText(Window, "70,80,320,240,0"));
    EXPECT_FALSE(IsZoomed(Window));
    EXPECT_EQ("70,80,390,320", Text(Bounds()));

    EXPECT_EQ(SW_SHOWMAXIMIZED, SetWindowPlacementText(Window, "90,100,330,250,2"));
    EXPECT_TRUE(IsZoomed(Window));
    EXPECT_EQ("90,100,330,250,2", GetWindowPlacementText(Window));
}

TEST_F(Placement, TheTextHoldsScreenPositionsWhenTheWorkAreaIsMoved)
{
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    const TWorkArea area({60, 40, cx, cy});  // a task bar at the left and one at the top
    ASSERT_TRUE(area.Set());
    RECT r{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    ASSERT_EQ(60, r.left);

    EXPECT_EQ(SW_SHOWMAXIMIZED, SetWindowPlacementText(Window, "192,112,300,200,2"));
    EXPECT_EQ("192,112,492,312", Text(Bounds()));
    ShowWindow(Window, SW_SHOWMAXIMIZED);
    EXPECT_EQ("192,112,300,200,2", GetWindowPlacementText(Window));
    ShowWindow(Window, SW_RESTORE);
    EXPECT_EQ("192,112,492,312", Text(Bounds()));
}
