// Rostery's one top-level window: a toolbar, the owner-drawn four-column list of the
// Schedule service's jobs and a status bar.
#pragma once
#include "JobTable.h"
#include "Handle.h"
#include "Window.h"

#include <commctrl.h>
#include <string>

namespace rostery {

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ImageList_Destroy(h); }
};
using ImageList = win::UniqueResource<ImageListTraits>;

// The window class and title.
inline constexpr const char kWindowClass[] = "Rostery";

// Number of list columns: ID, Day, Time, Command.
inline constexpr int kColumnCount = 4;

// The operating system's major version (GetVersionExA).
DWORD SystemMajorVersion();

class CJobListWindow : public win::Window {
public:
    CJobListWindow(JobTable& table, MessageBoxes& boxes, DWORD osMajorVersion, std::string helpFile);
    ~CJobListWindow() override = default;

    // Registers the class "Rostery" (RegisterClassExA, falling back to RegisterClassA).
    static bool RegisterWindowClass(HINSTANCE instance);

    // Creates the top-level window; NULL when it could not be made or the jobs could
    // not be read (then the user has been told).
    HWND CreateMain(HINSTANCE instance);

    // The program ends when the window goes (off in tests that make several windows).
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

    // The keys (Del, F5, F1) for the program's message loop.
    HACCEL Accelerators() const { return accelerators_; }

    HWND List() const { return list_; }
    HWND ToolBar() const { return toolBar_; }
    HWND StatusBar() const { return statusBar_; }
    int LastColumnMinimum() const { return lastColumnMinimum_; }
    const std::string& HelpFile() const { return helpFile_; }

    // The picture of a row: 1 for the job just added, else 0.
    int PictureIndex(size_t row) const;

    // Rebuilds the list items from the rows, one per row carrying its index.
    void Refill();
    // Each column as wide as its widest text; remembers the last column's width.
    void SizeColumns();
    // Stretches the last column over the free width, never below its automatic width.
    void FitLastColumn();
    // The Delete command: the selected rows are deleted at the service.
    void DeleteSelected();
    // The Refresh command (F5): the jobs read again from the service.
    void Refresh();
    // Draws one row of the list.
    void DrawRow(const DRAWITEMSTRUCT& item);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    bool OnCreate();
    void CreateStatusBar();
    void CreateToolBar();
    void CreateList();
    void OnSize(int width, int height);
    bool OnNotify(NMHDR* header);
    void OnCommand(WORD id);
    int ColumnWidth(int column) const;
    void RebuildList();

    JobTable& table_;
    MessageBoxes& boxes_;
    DWORD osMajorVersion_;
    HACCEL accelerators_ = nullptr; // a resource: freed with the module
    std::string helpFile_;
    bool quitOnDestroy_ = true;
    bool showSelection_ = true;
    int lastColumnMinimum_ = 0;

    HWND statusBar_ = nullptr;
    HWND toolBar_ = nullptr;
    HWND list_ = nullptr;
    ImageList pictures_;
    ImageList toolPictures_;
    ImageList toolHotPictures_;
};

} // namespace rostery
