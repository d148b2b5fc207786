#include "MainFrame.h"

#include "MonitorArea.h"
#include "OptionsSheet.h"
#include "Profile.h"
#include "ShowHelp.h"
#include "UiResource.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kRectValue[] = "Rect";
constexpr char kMaximizedValue[] = "Maximized";
constexpr char kTextLabelsValue[] = "TextLabels";
constexpr char kSaveOnExitValue[] = "SaveOnExit";
constexpr char kToolbarSideValue[] = "ToolbarSide";   // 0 top, 1 bottom, 2 left, 3 right
constexpr char kToolbarFloatValue[] = "ToolbarFloat"; // the floating window's rectangle, or empty
constexpr char kIdleText[] = "For Help, press F1";

// Moves `rect` onto the primary work area, keeping its size where it fits.
void MoveOntoWorkArea(RECT& rect)
{
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    LONG width = std::min(rect.right - rect.left, area.right - area.left);
    LONG height = std::min(rect.bottom - rect.top, area.bottom - area.top);
    LONG left = std::max(area.left, std::min(rect.left, area.right - width));
    LONG top = std::max(area.top, std::min(rect.top, area.bottom - height));
    rect = RECT{left, top, left + width, top + height};
}

} // namespace

CAppFrameWnd::CAppFrameWnd()
{
    saveOnExit_ = win::GetProfileInt(kViewSettingsSection, kSaveOnExitValue, 1);
    MapCommand(ID_VIEW_TEXT_LABELS, [this] {
        textLabels_ = !textLabels_;
        textToolBar_.ShowTextLabels(textLabels_ != 0);
    });
    MapUpdate(ID_VIEW_TEXT_LABELS, [this](win::CommandState& s) { s.checked = textLabels_ != 0; });
}

CAppFrameWnd::~CAppFrameWnd()
{
    if (Handle()) DestroyWindow(Handle()); // while this part of the object still answers
    win::WriteProfileInt(kViewSettingsSection, kSaveOnExitValue, saveOnExit_);
}

bool CAppFrameWnd::LoadPlacement(WINDOWPLACEMENT& placement)
{
    std::string rect = win::GetProfileString(kViewSettingsSection, kRectValue, "0 0 0 0");
    RECT& normal = placement.rcNormalPosition;
    char rest = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    if (std::sscanf(rect.c_str(), "%d %d %d %d %c", &left, &top, &right, &bottom, &rest) != 4 || right <= left ||
        bottom <= top) {
        left = top = right = bottom = 0; // the wrong form: as if nothing was saved
    }
    normal = RECT{left, top, right, bottom};
    placement.showCmd = win::GetProfileInt(kViewSettingsSection, kMaximizedValue, 0) > 0 ? SW_SHOWMAXIMIZED
                                                                                         : SW_SHOWNORMAL;
    textLabels_ = win::GetProfileInt(kViewSettingsSection, kTextLabelsValue, 1);
    toolbarSide_ = win::GetProfileInt(kViewSettingsSection, kToolbarSideValue, CTextToolBar::kDockTop);
    if (toolbarSide_ < CTextToolBar::kDockTop || toolbarSide_ > CTextToolBar::kDockRight)
        toolbarSide_ = CTextToolBar::kDockTop;
    std::string floating = win::GetProfileString(kViewSettingsSection, kToolbarFloatValue, "");
    int floatRect[4] = {};
    toolbarFloating_ = std::sscanf(floating.c_str(), "%d %d %d %d %c", &floatRect[0], &floatRect[1], &floatRect[2],
                                   &floatRect[3], &rest) == 4 &&
                       floatRect[2] > floatRect[0] && floatRect[3] > floatRect[1];
    toolbarCorner_ = POINT{floatRect[0], floatRect[1]};
    return left != 0 || top != 0 || right != 0 || bottom != 0;
}

void CAppFrameWnd::SavePlacement()
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(Handle(), &placement)) return;
    bool maximized = placement.showCmd == SW_SHOWMAXIMIZED ||
                     (placement.showCmd == SW_SHOWMINIMIZED && (placement.flags & WPF_RESTORETOMAXIMIZED));
    const RECT& normal = placement.rcNormalPosition;
    char rect[64];
    std::snprintf(rect, sizeof(rect), "%d %d %d %d", static_cast<int>(normal.left), static_cast<int>(normal.top),
                  static_cast<int>(normal.right), static_cast<int>(normal.bottom));
    win::WriteProfileString(kViewSettingsSection, kRectValue, rect);
    win::WriteProfileInt(kViewSettingsSection, kMaximizedValue, maximized ? 1 : 0);
    win::WriteProfileInt(kViewSettingsSection, kTextLabelsValue, textLabels_);
    win::WriteProfileInt(kViewSettingsSection, kToolbarSideValue, textToolBar_.Side());
    if (textToolBar_.Floated()) {
        RECT floating = textToolBar_.FloatingRect();
        std::snprintf(rect, sizeof(rect), "%d %d %d %d", static_cast<int>(floating.left),
                      static_cast<int>(floating.top), static_cast<int>(floating.right),
                      static_cast<int>(floating.bottom));
        win::WriteProfileString(kViewSettingsSection, kToolbarFloatValue, rect);
    } else {
        win::WriteProfileString(kViewSettingsSection, kToolbarFloatValue, "");
    }
}

void CAppFrameWnd::ActivateFrame()
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!LoadPlacement(placement)) {
        RECT window{};
        GetWindowRect(Handle(), &window);
        int width = window.right - window.left;
        int height = window.bottom - window.top;
        int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowPlacement(Handle(), &placement);
        placement.showCmd = SW_SHOWMAXIMIZED;
    } else if (!win::IsOnAnyMonitor(placement.rcNormalPosition)) {
        MoveOntoWorkArea(placement.rcNormalPosition);
    }
    placement.flags = 0;
    placement.ptMinPosition = POINT{0, 0};
    placement.ptMaxPosition = POINT{-GetSystemMetrics(SM_CXBORDER), -GetSystemMetrics(SM_CYBORDER)};
    SetWindowPlacement(Handle(), &placement);
    textToolBar_.ShowTextLabels(textLabels_ != 0);
    RestoreToolbar();
}

void CAppFrameWnd::RestoreToolbar()
{
    textToolBar_.DockAt(static_cast<CTextToolBar::DockSide>(toolbarSide_));
    // A floating bar whose corner is off the screen docks instead.
    POINT corner = toolbarCorner_;
    // Windows NT 4.0 has no virtual screen (its metrics answer 0) and no monitor functions:
    // there the one screen is the place.
    const RECT cornerRect{corner.x, corner.y, corner.x + 1, corner.y + 1};
    if (toolbarFloating_ && win::IsOnAnyMonitor(cornerRect)) textToolBar_.Float(corner);
}

void CAppFrameWnd::LayoutToolbar(RECT& area)
{
    if (!textToolBar_.Layout(area)) win::FrameWindow::LayoutToolbar(area);
}

bool CAppFrameWnd::OnCreateFrame()
{
    auto icon = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    auto smallIcon = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (icon) SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    if (smallIcon) SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    captionPainter_.Install(Handle(), kPaintCaptionMessage);
    GetSystemMenu(Handle(), FALSE); // the frame's own copy, which the menu painter prepares
    // Missing pictures leave plain menus; they do not stop the window.
    menuPainter_.LoadPictures(instance_, IDR_MAINFRAME);
    menuPainter_.LoadPictures(instance_, IDR_SYSTEM_MENU);
    menuPainter_.LoadCheckMarks(instance_, IDB_CHECK_MARKS);
    textToolBar_.layoutChanged = [this] { RecalcLayout(); };
    return textToolBar_.LoadToolBar(Toolbar(), instance_);
}

LRESULT CAppFrameWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case WM_MEASUREITEM:
        if (wParam == 0 && menuPainter_.MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) {
            handled = true;
            return TRUE;
        }
        break;
    case WM_DRAWITEM:
        if (wParam == 0 && menuPainter_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
            handled = true;
            return TRUE;
        }
        break;
    case WM_INITMENUPOPUP: {
        // The commands' states first, then any item still plain becomes owner-drawn.
        LRESULT result = win::FrameWindow::OnMessage(message, wParam, lParam, handled);
        menuPainter_.PreparePopup(reinterpret_cast<HMENU>(wParam));
        return result;
    }
    case WM_MENUCHAR: {
        handled = true;
        LRESULT result = DefWindowProcA(Handle(), message, wParam, lParam);
        if (HIWORD(result) != MNC_IGNORE || (HIWORD(wParam) & MF_SYSMENU)) return result;
        int found = menuPainter_.FindMnemonic(static_cast<char>(LOWORD(wParam)), reinterpret_cast<HMENU>(lParam));
        return found < 0 ? result : MAKELRESULT(found, MNC_EXECUTE);
    }
    case kPaintCaptionMessage:
        handled = true;
        if (lParam) PaintGradientCaption(Handle(), *reinterpret_cast<const CaptionPaintRequest*>(lParam),
                                         captionPainter_.CaptionFont());
        return 0;
    default:
        break;
    }
    return win::FrameWindow::OnMessage(message, wParam, lParam, handled);
}

void CAppFrameWnd::OnDestroyFrame()
{
    if (saveOnExit_) SavePlacement();
}

CMainFrame::CMainFrame()
{
    MapCommand(ID_TOOLS_OPTIONS, [this] { RunOptionsCommand(instance_, Handle()); });
    // Help Topics, F1 (the framework's help key) and the index all open the contents.
    for (UINT id : {ID_HELP_TOPICS, ID_HELP_KEY, ID_HELP_INDEX})
        MapCommand(id, [this] { ShowHelp(kMainWindowTopic, kHelpContext, Handle()); });
}

bool CMainFrame::OnCreateFrame()
{
    if (!CAppFrameWnd::OnCreateFrame()) return false;
    char idle[128];
    if (LoadStringA(instance_, IDS_IDLE_MESSAGE, idle, sizeof(idle)) <= 0)
        lstrcpynA(idle, kIdleText, sizeof(idle));
    SetIdleText(idle);
    return true;
}

void CMainFrame::ShowContextHelp(DWORD helpId) { ShowHelp(helpId, kHelpContext, Handle()); }

DWORD CMainFrame::ViewHelpId() const { return kMainWindowTopic; }
