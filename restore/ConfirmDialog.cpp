#include "ConfirmDialog.h"

#include <commctrl.h>

#include "Messages.h"
#include "Resource.h"
#include "SystemText.h"

namespace restavo {

namespace {

// The three state icons, loaded once.
HICON StateIconHandle(int id)
{
    static HICON icons[3] = {};
    int slot = id == IDI_WARNING_STATE ? 0 : id == IDI_ACCEPTED ? 1 : 2;
    if (!icons[slot]) icons[slot] = LoadIconA(ResourceInstance(), MAKEINTRESOURCEA(id));
    return icons[slot];
}

} // namespace

void PlaceWindow(HWND window)
{
    RECT work = {};
    RECT rect = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &rect);
    SetWindowPos(window, nullptr, (work.right - rect.right) / 2, (work.bottom - rect.bottom) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
}

ConfirmationFacts GatherConfirmationFacts(const std::string& targetName, const HiveSelection& selection,
                                          const char* folder, const HiveTimes& times)
{
    ConfirmationFacts facts;
    std::string source = ReadSourceComputerName(folder);
    facts.different = source.empty() || lstrcmpiA(source.c_str(), targetName.c_str()) != 0;
    facts.old = IsErdOld(folder);
    facts.mixed = IsMixedSet(folder, selection);
    facts.source = source.empty() ? "N/A" : source;
    facts.destination = targetName;
    facts.selection = selection;
    facts.times = times;
    return facts;
}

void CConfirmDialog::SetStateIcon(int id)
{
    stateIcon_ = id;
    SendDlgItemMessageA(Handle(), IDC_STATE_ICON, STM_SETICON, reinterpret_cast<WPARAM>(StateIconHandle(id)), 0);
}

void CConfirmDialog::Finish(INT_PTR result)
{
    result_ = result;
    End(result);
}

BOOL CConfirmDialog::OnInitDialog()
{
    PlaceWindow(Handle());
    HWND list = Item(IDC_HIVE_LIST);
    RECT client = {};
    GetClientRect(list, &client);
    int half = (client.right - client.left) / 2;
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = half;
    column.pszText = const_cast<char*>("Hive");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = half - 2;
    column.pszText = const_cast<char*>("Modified");
    SendMessageA(list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));

    // Each row goes in at the top: the rows read in reverse table order.
    for (int i = 0; i < kHiveCount; ++i) {
        if (!facts_.selection[i]) continue;
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = 0;
        item.pszText = const_cast<char*>(HiveTable[i].name);
        int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0) continue;
        LVITEMA time = {};
        time.iSubItem = 1;
        time.pszText = facts_.times[i].data();
        SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&time));
    }

    SetItemText(IDC_SOURCE_COMPUTER, facts_.source.c_str());
    SetItemText(IDC_DESTINATION_COMPUTER, facts_.destination.c_str());
    SetChecked(IDC_IGNORE_WARNING, false);
    stateIcon_ = IDI_ACCEPTED;
    if (facts_.old || facts_.different || facts_.mixed) {
        ShowWindow(Item(IDC_IGNORE_WARNING), SW_SHOW);
        EnableItem(IDOK, false);
        SetStateIcon(IDI_WARNING_STATE);
    }
    return TRUE;
}

bool CConfirmDialog::OnCommand(WORD id, WORD code, HWND)
{
    switch (id) {
    case IDC_IGNORE_WARNING:
        if (code == BN_CLICKED) {
            bool accepted = IsChecked(IDC_IGNORE_WARNING);
            SetStateIcon(accepted ? IDI_ACCEPTED : IDI_WARNING_STATE);
            EnableItem(IDOK, accepted);
        }
        return true;
    case IDOK:
        if (!IsWindowEnabled(Item(IDOK))) return true;
        SetStateIcon(IDI_GOING_AHEAD);
        if (facts_.old && ShowMessage(Handle(), kOldQuestion, "Warning", MB_YESNO | MB_ICONWARNING) != IDYES) {
            Finish(0);
            return true;
        }
        if (facts_.different) {
            std::string question =
                win::Format(kForeignQuestion, facts_.source.c_str(), facts_.destination.c_str());
            if (ShowMessage(Handle(), question.c_str(), "Warning", MB_YESNO | MB_ICONWARNING) != IDYES) {
                Finish(0);
                return true;
            }
        }
        if (facts_.mixed && ShowMessage(Handle(), kMixedQuestion, "Warning", MB_YESNO | MB_ICONWARNING) != IDYES) {
            Finish(0);
            return true;
        }
        Finish(1);
        return true;
    case IDCANCEL:
        Finish(0);
        return true;
    default:
        return false;
    }
}

int ConfirmRestore(HWND owner, const std::string& targetName, const HiveSelection& selection, const char* folder,
                   const HiveTimes& times)
{
    CConfirmDialog dialog(GatherConfirmationFacts(targetName, selection, folder, times));
    INT_PTR result = dialog.DoModal(ResourceInstance(), IDD_CONFIRM, owner);
    return result == 1 ? 1 : 0;
}

} // namespace restavo
