#include "JobListWindow.h"

#include "HelpViewer.h"
#include "SystemText.h"
#include "resource.h"

#include <algorithm>
#include <cstring>

namespace rostery {

namespace {

const char* const kColumnTitles[kColumnCount] = {"ID", "Day", "Time", "Command"};
const COLORREF kMaskColour = RGB(0, 255, 0);
const int kPictureWidth = 19;
const int kPictureHeight = 16;
const int kButtonSize = 32;
const DWORD kHelpContext = 1015;

} // namespace

DWORD SystemMajorVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!GetVersionExA(&info)) return 0;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return info.dwMajorVersion;
}

CJobListWindow::CJobListWindow(JobTable& table, MessageBoxes& boxes, DWORD osMajorVersion, std::string helpFile)
    : table_(table), boxes_(boxes), osMajorVersion_(osMajorVersion), helpFile_(std::move(helpFile))
{
}

bool CJobListWindow::RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, kWindowClass, &existing)) return true;

    HICON icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_ROSTERY), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    HICON smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_ROSTERY), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = win::Window::ClassProcedure();
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kWindowClass;
    if (RegisterClassExA(&wc)) return true;

    WNDCLASSA plain = {};
    plain.style = wc.style;
    plain.lpfnWndProc = wc.lpfnWndProc;
    plain.hInstance = instance;
    plain.hIcon = icon;
    plain.hCursor = wc.hCursor;
    plain.hbrBackground = wc.hbrBackground;
    plain.lpszClassName = kWindowClass;
    return ::RegisterClassA(&plain) != 0;
}

HWND CJobListWindow::CreateMain(HINSTANCE instance)
{
    accelerators_ = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ROSTERY_KEYS));
    return Create(instance, kWindowClass, "Rostery", WS_OVERLAPPEDWINDOW);
}

int CJobListWindow::PictureIndex(size_t row) const
{
    const auto& rows = table_.Rows();
    return row < rows.size() && rows[row].isNewJob ? 1 : 0;
}

LRESULT CJobListWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case WM_CREATE:
        handled = true;
        return OnCreate() ? 0 : -1;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        handled = true;
        return 0;
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (measure && measure->CtlType == ODT_LISTVIEW && measure->CtlID == IDC_JOB_LIST) {
            // Tall enough for the pictures and the list's font.
            TEXTMETRICA metrics = {};
            HDC dc = GetDC(Handle());
            HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            GetTextMetricsA(dc, &metrics);
            SelectObject(dc, old);
            ReleaseDC(Handle(), dc);
            measure->itemHeight = static_cast<UINT>(std::max<LONG>(kPictureHeight + 2, metrics.tmHeight + 2));
            handled = true;
            return TRUE;
        }
        return 0;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlID == IDC_JOB_LIST) {
            DrawRow(*item);
            handled = true;
            return TRUE;
        }
        return 0;
    }
    case WM_NOTIFY:
        handled = OnNotify(reinterpret_cast<NMHDR*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        handled = true;
        return 0;
    case WM_DESTROY:
        if (quitOnDestroy_) PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        // The children are gone now; the picture lists they used can go too.
        statusBar_ = toolBar_ = list_ = nullptr;
        pictures_.Reset();
        toolPictures_.Reset();
        toolHotPictures_.Reset();
        return 0;
    default:
        return 0;
    }
}

bool CJobListWindow::OnCreate()
{
    if (table_.EnumerateJobs() != NERR_Success) {
        boxes_.Show(Handle(), "Problem enumerating Rostery.", nullptr, MB_OK | MB_ICONSTOP);
        if (quitOnDestroy_) PostQuitMessage(0);
        return false;
    }
    table_.MarkNewJob();
    CreateStatusBar();
    CreateToolBar();
    CreateList();
    Refill();
    SizeColumns();
    FitLastColumn();
    return true;
}

void CJobListWindow::CreateStatusBar()
{
    statusBar_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | SBARS_SIZEGRIP,
                                 0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)),
                                 instance_, nullptr);
}

void CJobListWindow::CreateToolBar()
{
    const bool modern = osMajorVersion_ >= 4;
    DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | CCS_ADJUSTABLE;
    if (modern) style |= TBSTYLE_FLAT;
    toolBar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", style, 0, 0, 0, 0, Handle(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOL_BAR)), instance_, nullptr);
    if (!toolBar_) return;
    SendMessageA(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(kButtonSize, kButtonSize));

    if (modern) {
        toolPictures_.Reset(ImageList_LoadImageA(instance_, MAKEINTRESOURCEA(IDB_TOOLBAR), kButtonSize, 0,
                                                 kMaskColour, IMAGE_BITMAP, LR_CREATEDIBSECTION));
        toolHotPictures_.Reset(ImageList_LoadImageA(instance_, MAKEINTRESOURCEA(IDB_TOOLBAR_HOT), kButtonSize, 0,
                                                    kMaskColour, IMAGE_BITMAP, LR_CREATEDIBSECTION));
        SendMessageA(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolPictures_.Get()));
        SendMessageA(toolBar_, TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(toolHotPictures_.Get()));
    } else {
        TBADDBITMAP bitmap = {instance_, IDB_TOOLBAR_OLD};
        SendMessageA(toolBar_, TB_ADDBITMAP, 2, reinterpret_cast<LPARAM>(&bitmap));
    }

    TBBUTTON buttons[4] = {};
    buttons[0].fsStyle = TBSTYLE_SEP;
    buttons[1].iBitmap = 0;
    buttons[1].idCommand = ID_JOB_DELETE;
    buttons[1].fsState = TBSTATE_ENABLED;
    buttons[1].fsStyle = TBSTYLE_BUTTON;
    buttons[2].fsStyle = TBSTYLE_SEP;
    buttons[3].iBitmap = 1;
    buttons[3].idCommand = ID_HELP_TOPICS;
    buttons[3].fsState = TBSTATE_ENABLED;
    buttons[3].fsStyle = TBSTYLE_BUTTON;
    SendMessageA(toolBar_, TB_ADDBUTTONSA, 4, reinterpret_cast<LPARAM>(buttons));
    SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
}

void CJobListWindow::CreateList()
{
    list_ = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_OWNERDRAWFIXED,
                            0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_JOB_LIST)),
                            instance_, nullptr);
    if (!list_) return;

    RECT frame = {};
    GetWindowRect(Handle(), &frame);
    const int width = static_cast<int>((frame.right - frame.left) * 0.1);
    for (int i = 0; i < kColumnCount; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = width;
        column.pszText = const_cast<char*>(kColumnTitles[i]);
        column.iSubItem = i;
        SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }

    pictures_.Reset(ImageList_Create(kPictureWidth, kPictureHeight, ILC_COLOR24 | ILC_MASK, 2, 0));
    for (UINT id : {IDB_JOB, IDB_NEW_JOB}) {
        HBITMAP bitmap = static_cast<HBITMAP>(
            LoadImageA(instance_, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (bitmap) {
            ImageList_AddMasked(pictures_.Get(), bitmap, kMaskColour);
            DeleteObject(bitmap);
        }
    }
}

void CJobListWindow::Refill()
{
    if (!list_) return;
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    const auto& rows = table_.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.lParam = static_cast<LPARAM>(i);
        SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
}

int CJobListWindow::ColumnWidth(int column) const
{
    return static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

void CJobListWindow::SizeColumns()
{
    if (!list_) return;
    const auto& rows = table_.Rows();
    for (int column = 0; column < kColumnCount; ++column) {
        int widest = static_cast<int>(
            SendMessageA(list_, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(kColumnTitles[column])));
        for (const auto& row : rows) {
            const std::string text = CellText(row, column);
            widest = std::max(widest, static_cast<int>(SendMessageA(list_, LVM_GETSTRINGWIDTHA, 0,
                                                                   reinterpret_cast<LPARAM>(text.c_str()))));
        }
        widest += column == 0 ? 35 : 15;
        SendMessageA(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(widest, 0));
    }
    lastColumnMinimum_ = ColumnWidth(kColumnCount - 1);
}

void CJobListWindow::FitLastColumn()
{
    if (!list_) return;
    int sum = 0;
    for (int column = 0; column < kColumnCount; ++column) sum += ColumnWidth(column);
    RECT client = {};
    GetClientRect(list_, &client);
    const int clientWidth = client.right - client.left;
    const int last = ColumnWidth(kColumnCount - 1);
    if (sum >= clientWidth && last >= lastColumnMinimum_) return;
    const int width = std::max(lastColumnMinimum_, last + (clientWidth - sum));
    SendMessageA(list_, LVM_SETCOLUMNWIDTH, kColumnCount - 1, MAKELPARAM(width, 0));
}

void CJobListWindow::DeleteSelected()
{
    auto& rows = table_.Rows();
    for (auto& row : rows) row.selected = false;
    if (list_) {
        const int count = static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            if (!(SendMessageA(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) & LVIS_SELECTED))
                continue;
            LVITEMA item = {};
            item.mask = LVIF_PARAM;
            item.iItem = i;
            if (SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
                static_cast<size_t>(item.lParam) < rows.size())
                rows[static_cast<size_t>(item.lParam)].selected = true;
        }
    }
    table_.DeleteSelected(Handle());
    RebuildList();
}

void CJobListWindow::RebuildList()
{
    Refill();
    SizeColumns();
    FitLastColumn();
}

void CJobListWindow::Refresh()
{
    if (table_.EnumerateJobs() != NERR_Success)
        boxes_.Show(Handle(), "Problem enumerating Rostery.", nullptr, MB_OK | MB_ICONSTOP);
    table_.MarkNewJob();
    RebuildList();
}

void CJobListWindow::DrawRow(const DRAWITEMSTRUCT& item)
{
    if (item.itemID == static_cast<UINT>(-1)) return;
    if (!(item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) return;
    const size_t row = static_cast<size_t>(item.itemData);
    if (row >= table_.Rows().size()) return;

    const bool highlighted = (item.itemState & ODS_SELECTED) && showSelection_;
    const int background = highlighted ? COLOR_HIGHLIGHT : COLOR_WINDOW;
    const int foreground = highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
    HDC dc = item.hDC;
    RECT area = item.rcItem;
    FillRect(dc, &area, GetSysColorBrush(background));

    const int pictureTop = area.top + std::max(0, static_cast<int>(area.bottom - area.top - kPictureHeight) / 2);
    if (pictures_) ImageList_Draw(pictures_.Get(), PictureIndex(row), dc, area.left + 2, pictureTop, ILD_TRANSPARENT);

    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, GetSysColor(foreground));
    int left = area.left;
    for (int column = 0; column < kColumnCount; ++column) {
        const int width = ColumnWidth(column);
        RECT text = {left + (column == 0 ? 30 : 10), area.top, left + width, area.bottom};
        const std::string cell = CellText(table_.Rows()[row], column);
        // One line, and an ampersand of a command is shown as it stands.
        DrawTextA(dc, cell.c_str(), static_cast<int>(cell.size()), &text, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        left += width;
    }
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);

    if ((item.itemState & ODS_FOCUS) && showSelection_) DrawFocusRect(dc, &area);
}

void CJobListWindow::OnSize(int width, int height)
{
    if (statusBar_) SendMessageA(statusBar_, WM_SIZE, 0, MAKELPARAM(width, height));
    RECT bar = {};
    int toolHeight = 0;
    int statusHeight = 0;
    if (toolBar_ && GetWindowRect(toolBar_, &bar)) toolHeight = bar.bottom - bar.top;
    if (statusBar_ && GetWindowRect(statusBar_, &bar)) statusHeight = bar.bottom - bar.top;
    if (list_) {
        const int listHeight = std::max(0, height - toolHeight - statusHeight - 2);
        MoveWindow(list_, 0, toolHeight + 2, width, listHeight, TRUE);
        FitLastColumn();
    }
    if (toolBar_) MoveWindow(toolBar_, 0, 0, width, toolHeight, TRUE);
}

bool CJobListWindow::OnNotify(NMHDR* header)
{
    if (!header) return false;
    switch (header->code) {
    case TTN_GETDISPINFOA: {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        const UINT id = static_cast<UINT>(header->idFrom);
        const std::string status = win::LoadResourceString(instance_, id + 100).substr(0, 127);
        if (statusBar_) SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(status.c_str()));
        const std::string tip = win::LoadResourceString(instance_, id);
        win::CopyText(info->szText, sizeof info->szText, tip.c_str());
        info->lpszText = info->szText;
        info->hinst = nullptr;
        return true;
    }
    case TTN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        const UINT id = static_cast<UINT>(header->idFrom);
        const std::string status = win::LoadResourceString(instance_, id + 100).substr(0, 127);
        if (statusBar_) SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(status.c_str()));
        const std::string tip = win::LoadResourceString(instance_, id);
        info->szText[0] = L'\0';
        MultiByteToWideChar(CP_ACP, 0, tip.c_str(), -1, info->szText, static_cast<int>(std::size(info->szText)));
        info->szText[std::size(info->szText) - 1] = L'\0';
        info->lpszText = info->szText;
        info->hinst = nullptr;
        return true;
    }
    case TTN_POP:
        if (statusBar_) SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(""));
        return true;
    default:
        return false;
    }
}

void CJobListWindow::OnCommand(WORD id)
{
    switch (id) {
    case ID_JOB_DELETE:
        DeleteSelected();
        break;
    case ID_JOB_REFRESH:
        Refresh();
        break;
    case ID_APP_EXIT_ROSTERY:
        DestroyWindow(Handle());
        break;
    case ID_HELP_TOPICS:
        help::ShowTopic(Handle(), helpFile_, kHelpContext);
        break;
    default:
        break;
    }
}

} // namespace rostery
