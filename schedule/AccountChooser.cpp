#include "AccountChooser.h"

#include <lm.h>

#include <cstring>

namespace schedule {
namespace {

std::string Ansi(const wchar_t* wide)
{
    if (!wide) return std::string();
    char buffer[512] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof(buffer) - 1, nullptr, nullptr);
    return buffer;
}

// Builds a dialog template in memory: the chooser needs no resource of the program that
// links it.
class TemplateWriter {
public:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value)
    {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const wchar_t* text)
    {
        do Word(static_cast<WORD>(*text)); while (*text++);
    }
    void Align()
    {
        if (words_.size() % 2) Word(0);
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom, const wchar_t* text)
    {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(id);
        Word(0xFFFF);
        Word(classAtom);
        Text(text);
        Word(0);
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    std::vector<WORD> words_;
};

constexpr WORD kButton = 0x0080;
constexpr WORD kListBox = 0x0083;

struct ChooserState {
    std::vector<std::string> accounts;
    std::optional<std::string> chosen;
};

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* state = reinterpret_cast<ChooserState*>(lParam);
        HWND list = GetDlgItem(dialog, IDC_ACCOUNT_LIST);
        for (const std::string& account : state->accounts)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(account.c_str()));
        if (!state->accounts.empty()) SendMessageA(list, LB_SETCURSEL, 0, 0);
        return TRUE;
    }
    case WM_COMMAND: {
        auto* state = reinterpret_cast<ChooserState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        WORD id = LOWORD(wParam);
        bool choose = id == IDOK || (id == IDC_ACCOUNT_LIST && HIWORD(wParam) == LBN_DBLCLK);
        if (choose && state) {
            HWND list = GetDlgItem(dialog, IDC_ACCOUNT_LIST);
            LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
            if (index != LB_ERR && static_cast<size_t>(index) < state->accounts.size())
                state->chosen = state->accounts[static_cast<size_t>(index)];
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

} // namespace

std::vector<std::string> LocalAccounts()
{
    std::vector<std::string> accounts;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerSize = sizeof(computer);
    GetComputerNameA(computer, &computerSize);

    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        BYTE* buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                             &resume);
        if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer) {
            const auto* users = reinterpret_cast<const USER_INFO_0*>(buffer);
            for (DWORD i = 0; i < read; ++i) {
                std::string name = Ansi(users[i].usri0_name);
                if (!name.empty()) accounts.push_back(std::string(computer) + "\\" + name);
            }
        }
        if (buffer) NetApiBufferFree(buffer);
    } while (status == ERROR_MORE_DATA);

    if (accounts.empty()) {
        // At the least the account this program runs under.
        char user[257] = {};
        DWORD userSize = sizeof(user);
        if (GetUserNameA(user, &userSize)) accounts.push_back(std::string(computer) + "\\" + user);
    }
    return accounts;
}

std::optional<std::string> ChooseLocalAccount(HWND owner)
{
    TemplateWriter writer;
    writer.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    writer.Dword(0);
    writer.Word(3);   // controls
    writer.Word(0);
    writer.Word(0);
    writer.Word(200);
    writer.Word(140);
    writer.Word(0);   // no menu
    writer.Word(0);   // standard class
    writer.Text(L"Select User");
    writer.Word(8);
    writer.Text(L"MS Shell Dlg");
    writer.Item(WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 7, 186, 104,
                IDC_ACCOUNT_LIST, kListBox, L"");
    writer.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 84, 119, 50, 14, IDOK, kButton, L"OK");
    writer.Item(BS_PUSHBUTTON | WS_TABSTOP, 143, 119, 50, 14, IDCANCEL, kButton, L"Cancel");

    ChooserState state;
    state.accounts = LocalAccounts();
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), writer.Get(), owner, ChooserProc,
                                             reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return std::nullopt;
    return state.chosen;
}

} // namespace schedule
