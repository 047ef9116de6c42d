#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

namespace {

constexpr int kClipId = 131;

class AnimationWindow {
public:
    AnimationWindow() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS};
        InitCommonControlsEx(&controls);
        m_window = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_POPUP | ACS_TRANSPARENT, 0, 0, 260,
                                   40, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~AnimationWindow() {
        if (m_window != nullptr) DestroyWindow(m_window);
    }
    AnimationWindow(const AnimationWindow&) = delete;
    AnimationWindow& operator=(const AnimationWindow&) = delete;

    HWND Handle() const { return m_window; }

private:
    HWND m_window = nullptr;
};

TEST(ProgressClip, TheAnimationControlOpensAndPlaysTheClip) {
    AnimationWindow animation;
    ASSERT_NE(animation.Handle(), nullptr);
    ASSERT_TRUE(SendMessageW(animation.Handle(), ACM_OPENW, 0,
                             reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kClipId))));
    // Exactly 17 frames: the control refuses to start past the last one.
    EXPECT_TRUE(SendMessageW(animation.Handle(), ACM_PLAY, 1, MAKELONG(16, 16)));
    EXPECT_FALSE(SendMessageW(animation.Handle(), ACM_PLAY, 1, MAKELONG(17, 17)));
    EXPECT_TRUE(SendMessageW(animation.Handle(), ACM_PLAY, 1, MAKELONG(0, 16)));
    EXPECT_TRUE(SendMessageW(animation.Handle(), ACM_STOP, 0, 0));
    EXPECT_TRUE(SendMessageW(animation.Handle(), ACM_OPENW, 0, 0));  // closes the clip
}

TEST(ProgressClip, AClipThatIsNotThereIsRefused) {
    AnimationWindow animation;
    ASSERT_NE(animation.Handle(), nullptr);
    EXPECT_FALSE(SendMessageW(animation.Handle(), ACM_OPENW, 0,
                              reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kClipId + 1))));
}

}  // namespace
