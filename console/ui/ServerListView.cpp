#include "ServerListView.h"

#include "DomainSelection.h"
#include "UiResource.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr COLORREF kRoleMask = RGB(0, 255, 0);
constexpr int kRolePictureSize = 16;
const char* const kColumnTitles[CServerListView::kColumns] = {"Computer", "Type", "Description"};
constexpr int kInitialColumnWidth = 100;
constexpr int kNoDeviceMargin = 6;

int g_sortDescending = 0;

struct SortOrder {
    int column;
    bool descending;
};

// Byte by byte as unsigned characters; a prefix sorts first.
int CompareBytes(const std::string& a, const std::string& b)
{
    int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (order != 0) return order < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int CALLBACK CompareEntries(LPARAM first, LPARAM second, LPARAM context)
{
    const auto* order = reinterpret_cast<const SortOrder*>(context);
    const ComputerList& list = TheComputerList();
    size_t a = static_cast<size_t>(first);
    size_t b = static_cast<size_t>(second);
    if (a >= list.Size() || b >= list.Size()) return 0;
    int result = CompareBytes(CServerListView::ColumnText(*list.At(a), order->column),
                              CServerListView::ColumnText(*list.At(b), order->column));
    return order->descending ? -result : result;
}

int TextWidth(HWND window, HFONT font, const std::string& text)
{
    HDC dc = GetDC(window);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

} // namespace

CServerListView::CServerListView()
{
    MapCommand(ID_VIEW_SERVERS, [this] { SetFilter(kFilterServers); });
    MapCommand(ID_VIEW_WORKSTATIONS, [this] { SetFilter(kFilterWorkstations); });
    MapCommand(ID_VIEW_ALL, [this] { SetFilter(kFilterAll); });
    MapUpdate(ID_VIEW_SERVERS, [this](win::CommandState& s) { s.radio = filter_ == kFilterServers; });
    MapUpdate(ID_VIEW_WORKSTATIONS, [this](win::CommandState& s) { s.radio = filter_ == kFilterWorkstations; });
    MapUpdate(ID_VIEW_ALL, [this](win::CommandState& s) { s.radio = filter_ == kFilterAll; });
    MapCommand(ID_VIEW_SELECT_ALL, [this] { SelectAll(); });
    MapCommand(ID_COMPUTER_ADD, [this] {
        if (BrowseForComputer(list_) == 1) OnUpdate();
    });
    // Create ERD is the document's; the view only knows whether anything is selected.
    MapUpdate(ID_TOOLS_CREATE_ERD, [this](win::CommandState& s) { s.enabled = SelectedCount() > 0; });
}

// The list window shares the role pictures (LVS_SHAREIMAGELISTS): they are the view's, drawn
// by its rows, and destroyed here alone, after the window is gone.
CServerListView::~CServerListView()
{
    if (roleImages_) ImageList_Destroy(roleImages_);
}

bool CServerListView::SortDescending() noexcept { return g_sortDescending != 0; }

bool CServerListView::CreateView(HINSTANCE instance, HWND parent)
{
    instance_ = instance;
    list_ = CreateWindowExA(0, WC_LISTVIEWA, "",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDRAWFIXED |
                                LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kPaneId)), instance,
                            nullptr);
    if (!list_) return false;
    HookWindow(list_);
    roleImages_ = ImageList_LoadImageA(instance, MAKEINTRESOURCEA(IDB_ROLES), kRolePictureSize, 1, kRoleMask,
                                       IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (roleImages_) SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(roleImages_));
    for (int column = 0; column < kColumns; ++column) {
        LVCOLUMNA info{};
        info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        info.fmt = LVCFMT_LEFT;
        info.cx = kInitialColumnWidth;
        info.pszText = const_cast<char*>(kColumnTitles[column]);
        info.iSubItem = column;
        SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    }
    return true;
}

bool CServerListView::PassesFilter(ComputerRole role, int filter) noexcept
{
    switch (filter) {
    case kFilterServers:
        return role == kRolePrimaryController || role == kRoleBackupController || role == kRoleServer;
    case kFilterWorkstations:
        return role == kRoleWorkstation;
    default:
        return true;
    }
}

std::string CServerListView::ColumnText(const ComputerEntry& entry, int column)
{
    switch (column) {
    case 0:
        return entry.name;
    case 1:
        return entry.TypeText();
    default:
        return entry.Description();
    }
}

bool CServerListView::FirstSelectedName(std::string& name) const
{
    int item = list_ ? static_cast<int>(SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED))
                     : -1;
    const ComputerEntry* entry = item >= 0 ? EntryOfItem(item) : nullptr;
    if (!entry) return false;
    name = ColumnText(*entry, 0);
    return true;
}

const ComputerEntry* CServerListView::EntryOfItem(int item) const
{
    LVITEMA info{};
    info.mask = LVIF_PARAM;
    info.iItem = item;
    if (!SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info))) return nullptr;
    const ComputerList& list = TheComputerList();
    size_t index = static_cast<size_t>(info.lParam);
    return index < list.Size() ? list.At(index).get() : nullptr;
}

void CServerListView::OnUpdate()
{
    if (!list_) return;
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    const ComputerList& list = TheComputerList();
    for (size_t i = 0; i < list.Size(); ++i) {
        const ComputerEntry& entry = *list.At(i);
        if (!PassesFilter(entry.Role(), filter_)) continue;
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = LPSTR_TEXTCALLBACKA;
        item.iImage = I_IMAGECALLBACK;
        item.lParam = static_cast<LPARAM>(i);
        item.stateMask = LVIS_SELECTED;
        item.state = entry.selected ? LVIS_SELECTED : 0;
        SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    for (int column = 0; column + 1 < kColumns; ++column) FitColumn(column);
    StretchLastColumn();
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

void CServerListView::SetFilter(int filter)
{
    filter_ = filter;
    for (const ComputerEntryPtr& entry : TheComputerList().Entries()) {
        ComputerRole role = entry->Role();
        InterlockedExchange(&entry->selected, role != kRoleUndetermined && PassesFilter(role, filter) ? 1 : 0);
    }
    OnUpdate();
}

void CServerListView::SelectAll()
{
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

int CServerListView::SelectedCount() const
{
    return list_ ? static_cast<int>(SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
}

void CServerListView::StoreSelection(ComputerList& list) const
{
    for (const ComputerEntryPtr& entry : list.Entries()) InterlockedExchange(&entry->selected, 0);
    int count = static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        LVITEMA info{};
        info.mask = LVIF_PARAM;
        info.iItem = item;
        if (!SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info))) continue;
        size_t index = static_cast<size_t>(info.lParam);
        if (index >= list.Size()) continue;
        bool selected = (SendMessageA(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_SELECTED) &
                         LVIS_SELECTED) != 0;
        InterlockedExchange(&list.At(index)->selected, selected ? 1 : 0);
    }
}

void CServerListView::SortByColumn(int column)
{
    if (column == sortColumn_) {
        g_sortDescending = !g_sortDescending;
    } else {
        sortColumn_ = column;
        g_sortDescending = 0;
    }
    SortOrder order{column, g_sortDescending != 0};
    SendMessageA(list_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&order), reinterpret_cast<LPARAM>(&CompareEntries));
}

int CServerListView::MarginUnit() const
{
    HDC dc = GetDC(list_);
    if (!dc) return kNoDeviceMargin;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0)));
    SIZE blank{};
    GetTextExtentPoint32A(dc, " ", 1, &blank);
    SelectObject(dc, old);
    ReleaseDC(list_, dc);
    return blank.cx * 2;
}

void CServerListView::FitColumn(int column)
{
    if (column == kColumns - 1) {
        StretchLastColumn();
        return;
    }
    int widest = 0;
    int count = static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        const ComputerEntry* entry = EntryOfItem(item);
        if (!entry) continue;
        std::string text = ColumnText(*entry, column);
        widest = std::max(widest, static_cast<int>(SendMessageA(list_, LVM_GETSTRINGWIDTHA, 0,
                                                                reinterpret_cast<LPARAM>(text.c_str()))));
    }
    int margin = MarginUnit();
    int width = widest;
    if (column == 0 && roleImages_ && count > 0) {
        RECT icon{};
        icon.left = LVIR_ICON;
        SendMessageA(list_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&icon));
        width += icon.right + 1 + margin * 3 / 2;
    } else {
        width += margin * 2;
    }
    HWND header = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0));
    int headerWidth = TextWidth(header, reinterpret_cast<HFONT>(SendMessageA(header, WM_GETFONT, 0, 0)),
                                kColumnTitles[column]) + 8;
    SendMessageA(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(std::max(width, headerWidth), 0));
}

void CServerListView::StretchLastColumn()
{
    RECT client{};
    if (!list_ || !GetClientRect(list_, &client)) return;
    int total = 0;
    for (int column = 0; column < kColumns; ++column)
        total += static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    int difference = (client.right - client.left) - total;
    if (difference == 0) return;
    int last = static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, kColumns - 1, 0));
    if (last + difference < 0) return;
    SendMessageA(list_, LVM_SETCOLUMNWIDTH, kColumns - 1, MAKELPARAM(last + difference, 0));
}

void CServerListView::ShowContextMenu()
{
    HWND frame = GetParent(list_);
    HMENU menu = LoadMenuA(instance_, MAKEINTRESOURCEA(IDR_LIST_CONTEXT));
    if (!menu) return;
    POINT at{};
    GetCursorPos(&at);
    // Owned by the main window, so its items are routed and updated like the menu's.
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, frame, nullptr);
    DestroyMenu(menu);
}

void CServerListView::DrawRow(const DRAWITEMSTRUCT& item)
{
    const ComputerEntry* entry = EntryOfItem(static_cast<int>(item.itemID));
    if (!entry) return;
    HDC dc = item.hDC;
    int index = static_cast<int>(item.itemID);
    UINT state = static_cast<UINT>(SendMessageA(list_, LVM_GETITEMSTATE, item.itemID,
                                                LVIS_SELECTED | LVIS_DROPHILITED | LVIS_FOCUSED));
    bool highlighted = (state & (LVIS_SELECTED | LVIS_DROPHILITED)) != 0;

    RECT bounds{LVIR_BOUNDS, 0, 0, 0};
    RECT label{LVIR_LABEL, 0, 0, 0};
    RECT icon{LVIR_ICON, 0, 0, 0};
    SendMessageA(list_, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&bounds));
    SendMessageA(list_, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&label));
    SendMessageA(list_, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&icon));

    COLORREF oldText = SetTextColor(dc, GetSysColor(highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    COLORREF oldBack = SetBkColor(dc, GetSysColor(highlighted ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    RECT fill{label.left, bounds.top, bounds.right, bounds.bottom};
    FillRect(dc, &fill, GetSysColorBrush(highlighted ? COLOR_HIGHLIGHT : COLOR_WINDOW));

    if (roleImages_)
        ImageList_Draw(roleImages_, static_cast<int>(entry->Role()), dc, icon.left, icon.top,
                       ILD_TRANSPARENT | (highlighted ? ILD_BLEND50 : 0));

    int margin = MarginUnit();
    const UINT textFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS | DT_LEFT;
    // The name's column was fitted with one and a half margin units beside the picture.
    RECT text = label;
    text.left += margin / 2;
    text.right -= margin / 2;
    std::string name = ColumnText(*entry, 0);
    DrawTextA(dc, name.c_str(), -1, &text, textFormat);
    int left = bounds.left;
    for (int column = 0; column < kColumns; ++column) {
        int width = static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
        if (column > 0) {
            RECT cell{left + margin, bounds.top, left + width - margin, bounds.bottom};
            std::string value = ColumnText(*entry, column);
            DrawTextA(dc, value.c_str(), -1, &cell, textFormat);
        }
        left += width;
    }
    if ((state & LVIS_FOCUSED) && !(state & LVIS_SELECTED)) {
        RECT focus{label.left, bounds.top, bounds.right, bounds.bottom};
        DrawFocusRect(dc, &focus);
    }
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}

LRESULT CServerListView::OnParentMessage(UINT message, WPARAM, LPARAM lParam, bool& handled)
{
    handled = false;
    if (message == WM_DRAWITEM) {
        DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        handled = true;
        return TRUE;
    }
    if (message != WM_NOTIFY) return 0;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    switch (header->code) {
    case NM_DBLCLK:
        // Routed like the menu command.
        SendMessageA(list_, WM_COMMAND, MAKEWPARAM(ID_TOOLS_CREATE_ERD, 0), 0);
        handled = true;
        return 0;
    case NM_RCLICK:
        ShowContextMenu();
        handled = true;
        return 0;
    case LVN_COLUMNCLICK:
        SortByColumn(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
        handled = true;
        return 0;
    case LVN_GETDISPINFOA: {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header));
        const ComputerList& list = TheComputerList();
        size_t index = static_cast<size_t>(info->item.lParam);
        if (index < list.Size()) {
            if (info->item.mask & LVIF_TEXT)
                lstrcpynA(info->item.pszText, ColumnText(*list.At(index), info->item.iSubItem).c_str(),
                          info->item.cchTextMax);
            if (info->item.mask & LVIF_IMAGE) info->item.iImage = static_cast<int>(list.At(index)->Role());
        }
        handled = true;
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT CServerListView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY: {
        LRESULT result = Default();
        list_ = nullptr; // the list is going: the view no longer reaches it
        return result;
    }
    case WM_COMMAND:
        // The view's own commands go the frame's way.
        return SendMessageA(GetParent(list_), WM_COMMAND, wParam, lParam);
    case WM_SIZE: {
        LRESULT result = Default();
        StretchLastColumn();
        return result;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == HDN_DIVIDERDBLCLICKA || header->code == HDN_DIVIDERDBLCLICKW) {
            FitColumn(reinterpret_cast<const NMHEADERA*>(lParam)->iItem);
            return 0;
        }
        LRESULT result = Default();
        if (header->code == HDN_ITEMCHANGEDA || header->code == HDN_ITEMCHANGEDW) StretchLastColumn();
        return result;
    }
    default:
        return Default();
    }
}
