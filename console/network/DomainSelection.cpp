#include "DomainSelection.h"

#include "ComputerChooser.h"
#include "ConsoleStrings.h"
#include "DomainSelectionIds.h"
#include "Enumeration.h"
#include "Handle.h"
#include "Messages.h"
#include "SystemText.h"
#include "WaitCursor.h"
#include "Window.h"

#include <commctrl.h>

#include <string>

namespace {

constexpr COLORREF kDomainMask = RGB(0, 255, 0);
constexpr int kDomainImageWidth = 19;
constexpr int kDomainImageHeight = 16;
constexpr int kDomainTextLeft = 24;

std::vector<ComputerEntryPtr> g_domains;
DomainHelpHandler g_help = nullptr;

// The list's pictures: made once, kept for the life of the process.
HIMAGELIST DomainImages()
{
    static HIMAGELIST images =
        ImageList_Create(kDomainImageWidth, kDomainImageHeight, ILC_MASK | ILC_COLOR24, 2, 0);
    return images;
}

class CSelectDomainDialog : public win::Dialog {
public:
    explicit CSelectDomainDialog(size_t maxLength) : maxLength_(maxLength) {}
    const std::wstring& Result() const { return result_; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    std::string ListText(LRESULT index) const;
    void Accept(const std::string& name);
    void DrawItem(const DRAWITEMSTRUCT& item) const;
    void OnHelpButton() const;

    size_t maxLength_;
    std::wstring result_;
};

BOOL CSelectDomainDialog::OnInitDialog()
{
    EnumerateDomains();
    // One picture is enough however often the dialog opens: image 0 is the one drawn.
    if (ImageList_GetImageCount(DomainImages()) == 0) {
        win::GdiObject bitmap(LoadBitmapA(instance_, MAKEINTRESOURCEA(IDB_DOMAIN)));
        if (bitmap) ImageList_AddMasked(DomainImages(), static_cast<HBITMAP>(bitmap.Get()), kDomainMask);
    }
    SendDlgItemMessageA(Handle(), IDC_DOMAIN_LIST, LB_SETITEMHEIGHT, 0, kDomainImageHeight + 2);
    for (const ComputerEntryPtr& domain : g_domains)
        SendDlgItemMessageA(Handle(), IDC_DOMAIN_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(domain->name.c_str()));
    return TRUE;
}

std::string CSelectDomainDialog::ListText(LRESULT index) const
{
    LRESULT length = SendDlgItemMessageA(Handle(), IDC_DOMAIN_LIST, LB_GETTEXTLEN, index, 0);
    if (index == LB_ERR || length == LB_ERR) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendDlgItemMessageA(Handle(), IDC_DOMAIN_LIST, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// A name becomes the result (its first maxLength characters) and ends the dialog with 1.
void CSelectDomainDialog::Accept(const std::string& name)
{
    if (name.empty()) return;
    int length = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    if (length <= 1) return;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    if (wide.size() > maxLength_) wide.resize(maxLength_);
    result_ = wide;
    End(1);
}

bool CSelectDomainDialog::OnCommand(WORD id, WORD code, HWND)
{
    switch (id) {
    case IDC_DOMAIN_LIST: {
        std::string name = ListText(SendDlgItemMessageA(Handle(), IDC_DOMAIN_LIST, LB_GETCURSEL, 0, 0));
        if (!name.empty()) SetItemText(IDC_DOMAIN_NAME, name.c_str());
        if (code == LBN_DBLCLK) Accept(name);
        return true;
    }
    case IDOK: {
        char typed[kDomainTypedLimit + 1] = {};
        GetDlgItemTextA(Handle(), IDC_DOMAIN_NAME, typed, sizeof(typed));
        Accept(typed); // an empty box: nothing happens, the dialog stays
        return true;
    }
    case IDCANCEL:
        End(0);
        return true;
    case IDC_DOMAIN_HELP:
        OnHelpButton();
        return true;
    default:
        return false;
    }
}

void CSelectDomainDialog::OnHelpButton() const
{
    if (g_help) g_help(Handle(), kSelectDomainHelpContext);
}

INT_PTR CSelectDomainDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, bool& handled)
{
    if (message != WM_DRAWITEM) return 0;
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlID != IDC_DOMAIN_LIST) return 0;
    handled = true;
    DrawItem(item);
    return TRUE;
}

void CSelectDomainDialog::DrawItem(const DRAWITEMSTRUCT& item) const
{
    if (item.itemID == static_cast<UINT>(-1) || !(item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) return;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const RECT& area = item.rcItem;
    HDC dc = item.hDC;

    win::GdiObject brush(CreateSolidBrush(GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW)));
    HGDIOBJ previousBrush = SelectObject(dc, brush.Get());
    PatBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, PATCOPY);
    SelectObject(dc, previousBrush);

    ImageList_Draw(DomainImages(), 0, dc, area.left + 2, area.top, ILD_TRANSPARENT);

    std::string name = ListText(static_cast<LRESULT>(item.itemID));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    int previousMode = SetBkMode(dc, TRANSPARENT);
    COLORREF previousColour = SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    TextOutA(dc, kDomainTextLeft, (area.top + area.bottom - metrics.tmHeight) / 2, name.c_str(),
             static_cast<int>(name.size()));
    SetTextColor(dc, previousColour);
    SetBkMode(dc, previousMode);
    if (selected) DrawFocusRect(dc, &area);
}

} // namespace

const std::vector<ComputerEntryPtr>& DomainList() { return g_domains; }

void EnumerateDomains()
{
    win::WaitCursor wait;
    g_domains.clear();
    EnumerateServers(kDomainEnumType, nullptr,
                     [](const SERVER_INFO_101& record) { g_domains.push_back(EntryFromServerInfo(record)); });
}

INT_PTR SelectDomainDialog(HWND owner, char* buffer, size_t maxLength)
{
    CSelectDomainDialog dialog(maxLength);
    INT_PTR result = dialog.DoModal(GetModuleHandleA(nullptr), IDD_SELECT_DOMAIN, owner);
    if (result == 1 && buffer)
        win::CopyText(buffer, maxLength + 1, WideToAnsi(dialog.Result().c_str(), maxLength).c_str());
    return result;
}

void SetSelectDomainHelpHandler(DomainHelpHandler handler) { g_help = handler; }

int BrowseForComputer(HWND owner)
{
    char buffer[256] = {};
    if (win::BrowseComputer(GetModuleHandleA(nullptr), owner, buffer, sizeof(buffer)) < 0) {
        ShowMessage(kMessageStop, owner, TEXT_APP_TITLE, IDS_LIST_NOT_AVAILABLE);
        return 0;
    }
    if (buffer[0] != '\\' && buffer[1] != '\\') return 0; // nothing chosen
    win::WaitCursor wait;
    ComputerEntryPtr entry = EntryFromName(buffer);
    LookupComputer(*entry); // role, type and description known before the entry shows
    return TheComputerList().Append(entry) ? 1 : 0;
}
