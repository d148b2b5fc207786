// The main window's only view: the computer list as an owner-drawn report list with role
// pictures, filtered by role, sortable by any column.
#pragma once
#include "ComputerList.h"
#include "Frame.h"
#include "SubclassWnd.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

// The view hooks its list window to fit the columns and pass the list's commands on.
class CServerListView final : public win::View, private CSubclassWnd {
public:
    enum Filter : int { kFilterAll = 0, kFilterServers = 1, kFilterWorkstations = 2 };
    static constexpr int kColumns = 3;

    CServerListView();
    ~CServerListView() override;

    bool CreateView(HINSTANCE instance, HWND parent) override;
    HWND Handle() const override { return list_; }
    void OnUpdate() override;
    LRESULT OnParentMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

    int CurrentFilter() const noexcept { return filter_; }
    int SortColumn() const noexcept { return sortColumn_; }
    static bool SortDescending() noexcept;

    // Choosing a filter selects every listed computer of known role.
    void SetFilter(int filter);
    void SelectAll();
    // A click on column `column`'s header: ascending first, the same column again reverses.
    void SortByColumn(int column);
    void FitColumn(int column);
    void StretchLastColumn();
    // The items' selection into the entries' selected flags (cleared first).
    void StoreSelection(ComputerList& list) const;
    int SelectedCount() const;
    // The name of the first selected item's computer; false when none is selected.
    bool FirstSelectedName(std::string& name) const;

    static bool PassesFilter(ComputerRole role, int filter) noexcept;
    // The text of column `column` (name, type text, description) of an entry.
    static std::string ColumnText(const ComputerEntry& entry, int column);

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawRow(const DRAWITEMSTRUCT& item);
    void ShowContextMenu();
    int MarginUnit() const;
    const ComputerEntry* EntryOfItem(int item) const;

    HINSTANCE instance_ = nullptr;
    HWND list_ = nullptr;
    int filter_ = kFilterAll;
    HIMAGELIST roleImages_ = nullptr;
    int sortColumn_ = -1;
};
