#include "Frame.h"

#include <commctrl.h>

#include <algorithm>

namespace win {
namespace {

constexpr char kFrameClass[] = "OstrelFrameWindow";
constexpr UINT kUntitledString = 61443;
constexpr COLORREF kToolbarMask = RGB(192, 192, 192);

// The toolbar resource: version, picture width and height, then the command of each slot
// (0 for a separator).
#pragma pack(push, 1)
struct ToolbarResource {
    WORD version;
    WORD width;
    WORD height;
    WORD count;
};
#pragma pack(pop)
static_assert(sizeof(ToolbarResource) == 8, "toolbar resource header");

constexpr WORD kToolbarResourceType = 241;

} // namespace

void Document::AddView(View* view)
{
    if (std::find(views_.begin(), views_.end(), view) != views_.end()) return;
    views_.push_back(view);
    view->document_ = this;
}

void Document::RemoveView(View* view)
{
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
    if (view->document_ == this) view->document_ = nullptr;
}

void Document::UpdateAllViews(View* sender)
{
    for (View* view : views_)
        if (view != sender) view->OnUpdate();
}

void Document::SetTitle(const std::string& title)
{
    title_ = title;
    if (titleChanged) titleChanged();
}

std::string FrameTitle(const std::string& applicationTitle, const std::string& documentTitle,
                       const std::string& untitledText)
{
    if (documentTitle.empty() || documentTitle == untitledText) return applicationTitle;
    return applicationTitle + " - " + documentTitle;
}

FrameWindow::FrameWindow()
{
    MapCommand(kExitCommand, [this] { PostMessageA(Handle(), WM_CLOSE, 0, 0); });
    MapCommand(kContextHelpCommand, [this] { RunContextHelpMode(); });
    MapCommand(kToolbarId, [this] { ToggleBar(toolbar_); });
    MapUpdate(kToolbarId, [this](CommandState& state) { state.checked = toolbar_ && IsWindowVisible(toolbar_); });
    MapCommand(kStatusBarId, [this] { ToggleBar(statusBar_); });
    MapUpdate(kStatusBarId, [this](CommandState& state) { state.checked = statusBar_ && IsWindowVisible(statusBar_); });
}

FrameWindow::~FrameWindow()
{
    if (Handle()) DestroyWindow(Handle());
    if (document_ && view_) document_->RemoveView(view_);
    if (toolbarImages_) ImageList_Destroy(toolbarImages_);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

bool FrameWindow::CreateFrame(HINSTANCE instance, UINT resourceId, const char* applicationTitle, Document& document,
                              View& view)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    instance_ = instance;
    resourceId_ = resourceId;
    applicationTitle_ = applicationTitle;
    document_ = &document;
    view_ = &view;
    document.AddView(&view);
    document.titleChanged = [this] { UpdateTitle(); };
    icon_ = LoadIconA(instance, MAKEINTRESOURCEA(resourceId));
    if (!RegisterClass(instance, kFrameClass, icon_, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1))) return false;
    accelerators_ = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(resourceId));
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(resourceId));
    if (!menu) return false;
    if (!Create(instance, kFrameClass, applicationTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, CW_USEDEFAULT,
                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu)) {
        DWORD error = GetLastError();
        DestroyMenu(menu);
        SetLastError(error);
        return false;
    }
    UpdateTitle();
    return true;
}

bool LoadToolbarLayout(HINSTANCE instance, UINT resourceId, ToolbarLayout& layout)
{
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(kToolbarResourceType));
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* header = loaded ? static_cast<const ToolbarResource*>(LockResource(loaded)) : nullptr;
    if (!header || SizeofResource(instance, found) < sizeof(ToolbarResource) + header->count * sizeof(WORD)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    const WORD* commands = reinterpret_cast<const WORD*>(header + 1);
    layout.width = header->width;
    layout.height = header->height;
    layout.commands.assign(commands, commands + header->count);
    return true;
}

bool FrameWindow::CreateToolbar(UINT resourceId)
{
    ToolbarLayout layout;
    if (!LoadToolbarLayout(instance_, resourceId, layout)) return false;
    toolbar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP,
                               0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kToolbarId)),
                               instance_, nullptr);
    if (!toolbar_) return false;
    toolbarImages_ = ImageList_LoadImageA(instance_, MAKEINTRESOURCEA(resourceId), layout.width, 1, kToolbarMask,
                                          IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (!toolbarImages_) return false;
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(layout.width, layout.height));
    SendMessageA(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarImages_));
    std::vector<TBBUTTON> buttons;
    int picture = 0;
    for (UINT command : layout.commands) {
        TBBUTTON button{};
        if (command == 0) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = picture++;
            button.idCommand = static_cast<int>(command);
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(button);
    }
    SendMessageA(toolbar_, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    return true;
}

bool FrameWindow::RouteCommand(UINT id)
{
    return win::RouteCommand({view_, document_, this, application_}, id);
}

CommandState FrameWindow::CommandStateOf(UINT id)
{
    return RouteUpdate({view_, document_, this, application_}, id);
}

void FrameWindow::UpdateCommandUi()
{
    if (toolbar_) UpdateToolbarButtons(toolbar_, [this](UINT id) { return CommandStateOf(id); });
}

void FrameWindow::ShowPrompt(UINT id)
{
    if (!statusBar_) return;
    std::string text = id ? CommandText(instance_, id, 0) : idleText_;
    SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string FrameWindow::StatusText() const
{
    char text[512] = "";
    if (statusBar_) SendMessageA(statusBar_, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

void FrameWindow::SetIdleText(const std::string& text)
{
    idleText_ = text;
    if (statusBar_) {
        int parts[1] = {-1};
        SendMessageA(statusBar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    }
    ShowPrompt(0);
}

void FrameWindow::UpdateTitle()
{
    if (!Handle() || !document_) return;
    char untitled[128] = "Untitled";
    LoadStringA(instance_, kUntitledString, untitled, sizeof(untitled));
    SetWindowTextA(Handle(), FrameTitle(applicationTitle_, document_->Title(), untitled).c_str());
}

void FrameWindow::ToggleBar(HWND bar)
{
    if (!bar) return;
    ShowWindow(bar, IsWindowVisible(bar) ? SW_HIDE : SW_SHOW);
    RecalcLayout();
}

void FrameWindow::RecalcLayout()
{
    RECT area{};
    if (!Handle() || !GetClientRect(Handle(), &area)) return;
    if (statusBar_ && IsWindowVisible(statusBar_)) {
        SendMessageA(statusBar_, WM_SIZE, 0, 0);
        RECT bar{};
        GetWindowRect(statusBar_, &bar);
        area.bottom -= bar.bottom - bar.top;
    }
    // A floating toolbar lives in a window of its own and takes no room here.
    if (toolbar_ && IsWindowVisible(toolbar_) && GetParent(toolbar_) == Handle()) LayoutToolbar(area);
    if (view_ && view_->Handle())
        MoveWindow(view_->Handle(), area.left, area.top, std::max<LONG>(0, area.right - area.left),
                   std::max<LONG>(0, area.bottom - area.top), TRUE);
}

void FrameWindow::LayoutToolbar(RECT& area)
{
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    RECT bar{};
    GetWindowRect(toolbar_, &bar);
    area.top += bar.bottom - bar.top;
}

DWORD FrameWindow::RunContextHelpMode()
{
    if (contextHelp_ || !Handle()) return 0;
    contextHelp_ = true;
    helpCommand_ = 0;
    SetCapture(Handle());
    SetCursor(LoadCursor(nullptr, IDC_HELP));
    DWORD topic = 0;
    MSG message{};
    for (;;) {
        if (!contextHelp_) break;
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) { // the program is ending: the loop that waits for it gets it back
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) break;
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) break;
        if (message.message == WM_RBUTTONDOWN || message.message == WM_NCRBUTTONDOWN) break;
        if (message.message == WM_COMMAND && message.hwnd == Handle()) { // a menu's command
            helpCommand_ = LOWORD(message.wParam);
            break;
        }
        if (message.message == WM_SETCURSOR || message.message == WM_MOUSEMOVE) {
            SetCursor(LoadCursor(nullptr, IDC_HELP));
            continue;
        }
        if (message.message != WM_LBUTTONDOWN && message.message != WM_NCLBUTTONDOWN) {
            // Other keys do nothing in the mode; everything else goes on as usual.
            if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        // The click's place on the screen (client coordinates of the capturing window).
        POINT at{static_cast<short>(LOWORD(message.lParam)), static_cast<short>(HIWORD(message.lParam))};
        if (message.message == WM_LBUTTONDOWN) ClientToScreen(message.hwnd, &at);
        HWND target = WindowFromPoint(at);
        if (target == Handle() &&
            SendMessageA(Handle(), WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)) == HTMENU) {
            // The menu bar: the menu opens as usual, and the command chosen is the answer.
            ReleaseCapture();
            DefWindowProcA(Handle(), WM_NCLBUTTONDOWN, HTMENU, MAKELPARAM(at.x, at.y));
            MSG chosen{};
            if (PeekMessageA(&chosen, Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE)) helpCommand_ = LOWORD(chosen.wParam);
            break;
        }
        if (target && target == toolbar_) {
            POINT inBar = at;
            ScreenToClient(toolbar_, &inBar);
            int index = static_cast<int>(SendMessageA(toolbar_, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&inBar)));
            TBBUTTON button{};
            if (index >= 0 && SendMessageA(toolbar_, TB_GETBUTTON, static_cast<WPARAM>(index),
                                           reinterpret_cast<LPARAM>(&button)) && !(button.fsStyle & BTNS_SEP))
                helpCommand_ = static_cast<UINT>(button.idCommand);
        } else if (target && view_ && view_->Handle() &&
                   (target == view_->Handle() || IsChild(view_->Handle(), target))) {
            topic = ViewHelpId();
        }
        break;
    }
    contextHelp_ = false;
    if (GetCapture() == Handle()) ReleaseCapture();
    if (helpCommand_ != 0) topic = helpCommand_ + kCommandHelpBase;
    helpCommand_ = 0;
    if (topic != 0) ShowContextHelp(topic);
    return topic;
}

int FrameWindow::Run()
{
    return RunMessageLoop(nullptr, accelerators_, Handle(), [this] {
        if (Handle()) UpdateCommandUi();
    });
}

LRESULT FrameWindow::OnNotify(NMHDR* header, bool& handled)
{
    if (header->hwndFrom == toolbar_ && header->code == static_cast<UINT>(TBN_HOTITEMCHANGE)) {
        auto* hot = reinterpret_cast<NMTBHOTITEM*>(header);
        ShowPrompt((hot->dwFlags & HICF_LEAVING) ? 0 : static_cast<UINT>(hot->idNew));
        handled = true;
        return 0;
    }
    if (header->code == TTN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        std::string tip = CommandText(instance_, static_cast<UINT>(header->idFrom), 1);
        lstrcpynA(info->szText, tip.c_str(), sizeof(info->szText));
        info->lpszText = info->szText;
        handled = true;
        return 0;
    }
    if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        std::string tip = CommandText(instance_, static_cast<UINT>(header->idFrom), 1);
        MultiByteToWideChar(CP_ACP, 0, tip.c_str(), -1, info->szText, ARRAYSIZE(info->szText));
        info->lpszText = info->szText;
        handled = true;
        return 0;
    }
    if (view_ && header->hwndFrom == view_->Handle()) return view_->OnParentMessage(WM_NOTIFY, header->idFrom,
                                                                                    reinterpret_cast<LPARAM>(header), handled);
    return 0;
}

LRESULT FrameWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case WM_CREATE: {
        handled = true;
        statusBar_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                     Handle(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kStatusBarId)),
                                     instance_, nullptr);
        if (!statusBar_ || !CreateToolbar(resourceId_) || !view_->CreateView(instance_, Handle())) return -1;
        if (!OnCreateFrame()) return -1;
        RecalcLayout();
        return 0;
    }
    case WM_SIZE:
        RecalcLayout();
        handled = true;
        return 0;
    case WM_SETFOCUS:
        if (view_ && view_->Handle()) SetFocus(view_->Handle());
        handled = true;
        return 0;
    case WM_COMMAND: {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (control && control != toolbar_) break; // a control's own notification
        UINT id = LOWORD(wParam);
        if (contextHelp_) { // chosen in the context-help mode: its topic, not the command
            helpCommand_ = id;
            contextHelp_ = false;
            handled = true;
            return 0;
        }
        // An accelerator of a disabled command does nothing, like its grey menu item.
        if (CommandStateOf(id).enabled) RouteCommand(id);
        UpdateCommandUi();
        handled = true;
        return 0;
    }
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam)) break; // the system menu
        UpdateMenuItems(reinterpret_cast<HMENU>(wParam), [this](UINT id) {
            CommandState state = CommandStateOf(id);
            if (contextHelp_) state.enabled = true; // a greyed command has its topic too
            return state;
        });
        handled = true;
        return 0;
    case WM_MENUSELECT: {
        UINT flags = HIWORD(wParam);
        if (flags == 0xFFFF && !lParam)
            ShowPrompt(0);
        else if (!(flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)))
            ShowPrompt(LOWORD(wParam));
        handled = true;
        return 0;
    }
    case WM_EXITMENULOOP:
        ShowPrompt(0);
        break;
    case WM_NOTIFY: {
        LRESULT result = OnNotify(reinterpret_cast<NMHDR*>(lParam), handled);
        if (handled) return result;
        break;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        if (wParam == View::kPaneId && view_) {
            LRESULT result = view_->OnParentMessage(message, wParam, lParam, handled);
            if (handled) return result;
        }
        break;
    case WM_DESTROY:
        OnDestroyFrame();
        if (quitOnDestroy_) PostQuitMessage(0);
        handled = true;
        return 0;
    default:
        break;
    }
    return OnFrameMessage(message, wParam, lParam, handled);
}

} // namespace win
