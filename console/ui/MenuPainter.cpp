#include "MenuPainter.h"

#include "Command.h"
#include "Frame.h"
#include "PaintHelpers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace {
constexpr COLORREF kTransparent = RGB(192, 192, 192);
constexpr int kCheckSize = 19;

class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

std::pair<std::string, std::string> SplitAtTab(const char* text)
{
    std::string all = text;
    size_t tab = all.find('\t');
    if (tab == std::string::npos) return {all, {}};
    return {all.substr(0, tab), all.substr(tab + 1)};
}
} // namespace

CMenuPainter::CMenuPainter()
    : menuText_(GetSysColor(COLOR_MENUTEXT)), highlightText_(GetSysColor(COLOR_HIGHLIGHTTEXT)),
      face_(GetSysColor(COLOR_3DFACE)), menu_(GetSysColor(COLOR_MENU)), highlight_(GetSysColor(COLOR_HIGHLIGHT)),
      light_(GetSysColor(COLOR_3DHIGHLIGHT)), shadow_(GetSysColor(COLOR_3DSHADOW)),
      greyText_(GetSysColor(COLOR_GRAYTEXT))
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        font_ = CreateFontIndirectA(&metrics.lfMenuFont);
    if (!font_) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

CMenuPainter::~CMenuPainter()
{
    if (pictures_) ImageList_Destroy(pictures_);
    if (checks_) ImageList_Destroy(checks_);
    if (font_) DeleteObject(font_);
}

bool CMenuPainter::LoadPictures(HINSTANCE instance, UINT toolbarResource)
{
    win::ToolbarLayout layout;
    if (!win::LoadToolbarLayout(instance, toolbarResource, layout)) return false;
    if (!pictures_) {
        pictureSize_ = SIZE{layout.width, layout.height};
        pictures_ = ImageList_Create(layout.width, layout.height, ILC_COLOR24 | ILC_MASK, 16, 8);
        if (!pictures_) return false;
    }
    auto bitmap = static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(toolbarResource), IMAGE_BITMAP, 0, 0,
                                                  LR_CREATEDIBSECTION));
    if (!bitmap) return false;
    int first = ImageList_GetImageCount(pictures_);
    int added = ImageList_AddMasked(pictures_, bitmap, kTransparent);
    DWORD error = GetLastError();
    DeleteObject(bitmap);
    if (added < 0) {
        SetLastError(error);
        return false;
    }
    int picture = first;
    for (UINT command : layout.commands)
        if (command != 0) table_.emplace_back(command, picture++);
    return true;
}

bool CMenuPainter::LoadCheckMarks(HINSTANCE instance, UINT bitmap)
{
    auto pictures = static_cast<HBITMAP>(
        LoadImageA(instance, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION section{};
    if (!pictures || GetObjectA(pictures, sizeof(section), &section) != sizeof(section) ||
        section.dsBm.bmBitsPixel != 24) {
        if (pictures) DeleteObject(pictures);
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    // The greys become the 3D colours of the moment (the bits are blue, green, red).
    const std::pair<COLORREF, COLORREF> map[] = {
        {RGB(128, 128, 128), shadow_}, {RGB(192, 192, 192), face_}, {RGB(255, 255, 255), light_}};
    GdiFlush();
    for (LONG y = 0; y < section.dsBm.bmHeight; ++y) {
        BYTE* pixel = static_cast<BYTE*>(section.dsBm.bmBits) + y * section.dsBm.bmWidthBytes;
        for (LONG x = 0; x < section.dsBm.bmWidth; ++x, pixel += 3) {
            COLORREF colour = RGB(pixel[2], pixel[1], pixel[0]);
            for (const auto& [from, to] : map)
                if (colour == from) {
                    pixel[0] = GetBValue(to);
                    pixel[1] = GetGValue(to);
                    pixel[2] = GetRValue(to);
                    break;
                }
        }
    }
    if (checks_) ImageList_Destroy(checks_);
    checks_ = ImageList_Create(kCheckSize, kCheckSize, ILC_COLOR24, 2, 1);
    bool added = checks_ && ImageList_Add(checks_, pictures, nullptr) >= 0;
    DeleteObject(pictures);
    return added;
}

int CMenuPainter::PictureOf(UINT command) const
{
    for (const auto& [id, picture] : table_)
        if (id == command) return picture;
    return kNoPicture;
}

void CMenuPainter::PreparePopup(HMENU menu)
{
    // Records of menus that are gone (closed context menus) are let go.
    items_.erase(std::remove_if(items_.begin(), items_.end(), [](const auto& item) { return !IsMenu(item->menu); }),
                 items_.end());
    for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i) {
        char text[128] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = win::MenuItemTypeMask(true) | MIIM_ID | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = sizeof(text);
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        if (info.hSubMenu) PreparePopup(info.hSubMenu);
        if (info.fType & (MFT_OWNERDRAW | MFT_BITMAP)) continue;
        auto item = std::make_unique<Item>();
        item->menu = menu;
        if (info.fType & MFT_SEPARATOR) {
            item->picture = kSeparator;
        } else {
            item->command = info.wID;
            lstrcpynA(item->text, text, sizeof(item->text));
            item->picture = info.hSubMenu ? kNoPicture : PictureOf(info.wID);
        }
        MENUITEMINFOA change{};
        change.cbSize = sizeof(change);
        change.fMask = win::MenuItemTypeMask(false) | MIIM_DATA;
        change.fType = info.fType | MFT_OWNERDRAW;
        change.dwItemData = reinterpret_cast<ULONG_PTR>(item.get());
        // With MIIM_TYPE (Windows NT 4.0) an owner-drawn item's content is its data.
        change.dwTypeData = reinterpret_cast<LPSTR>(item.get());
        if (SetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &change)) items_.push_back(std::move(item));
    }
}

const CMenuPainter::Item* CMenuPainter::Find(ULONG_PTR data) const
{
    for (const auto& item : items_)
        if (reinterpret_cast<ULONG_PTR>(item.get()) == data) return item.get();
    return nullptr;
}

bool CMenuPainter::MeasureItem(MEASUREITEMSTRUCT& measure) const
{
    if (measure.CtlType != ODT_MENU) return false;
    const Item* item = Find(measure.itemData);
    if (!item) return false;
    if (item->picture == kSeparator) {
        measure.itemWidth = 10;
        measure.itemHeight = 6;
        return true;
    }
    if (!item->text[0]) {
        measure.itemWidth = 100;
        measure.itemHeight = PictureHeight() + 5;
        return true;
    }
    HDC dc = GetDC(nullptr);
    SIZE extent{};
    {
        SelectedObject font(dc, font_);
        DWORD size = GetTabbedTextExtentA(dc, item->text, lstrlenA(item->text), 0, nullptr);
        extent = SIZE{LOWORD(size), HIWORD(size)};
    }
    ReleaseDC(nullptr, dc);
    int height = std::max<int>(PictureHeight() + 5, extent.cy);
    measure.itemHeight = static_cast<UINT>(height);
    measure.itemWidth = static_cast<UINT>(extent.cx + 17 + std::max(height, PictureWidth()));
    return true;
}

void CMenuPainter::DrawPicture(HDC dc, const Item& item, const RECT& box, UINT state, bool radio) const
{
    bool disabled = (state & ODS_GRAYED) != 0;
    bool checked = (state & ODS_CHECKED) != 0;
    int x = box.left + (box.right - box.left - PictureWidth()) / 2;
    int y = box.top + (box.bottom - box.top - PictureHeight()) / 2;
    if (item.picture >= 0 && pictures_) {
        if (checked) Frame3d(dc, box, shadow_, light_);
        else if ((state & ODS_SELECTED) && !disabled) Frame3d(dc, box, light_, shadow_);
        if (disabled) {
            HICON icon = ImageList_GetIcon(pictures_, item.picture, ILD_NORMAL);
            DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, PictureWidth(),
                       PictureHeight(), DST_ICON | DSS_DISABLED);
            DestroyIcon(icon);
        } else {
            ImageList_Draw(pictures_, item.picture, dc, x, y, ILD_TRANSPARENT);
        }
    } else if (checked && checks_) {
        ImageList_Draw(checks_, radio ? 1 : 0, dc, box.left + (box.right - box.left - kCheckSize) / 2,
                       box.top + (box.bottom - box.top - kCheckSize) / 2, ILD_NORMAL);
    }
}

bool CMenuPainter::DrawItem(const DRAWITEMSTRUCT& draw) const
{
    if (draw.CtlType != ODT_MENU) return false;
    const Item* item = Find(draw.itemData);
    if (!item) return false;
    HDC dc = draw.hDC;
    RECT rect = draw.rcItem;
    if (item->picture == kSeparator) {
        FillSolid(dc, rect, menu_);
        RECT line{rect.left, rect.top + (rect.bottom - rect.top) / 2 - 1, rect.right, 0};
        line.bottom = line.top + 2;
        Frame3d(dc, line, shadow_, light_);
        return true;
    }
    bool disabled = (draw.itemState & ODS_GRAYED) != 0;
    bool selected = (draw.itemState & ODS_SELECTED) != 0;
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = win::MenuItemTypeMask(false);
    GetMenuItemInfoA(reinterpret_cast<HMENU>(draw.hwndItem), draw.itemID, FALSE, &info);
    int boxSize = std::max<int>(rect.bottom - rect.top, PictureWidth());
    RECT box{rect.left, rect.top, rect.left + boxSize, rect.bottom};
    RECT textArea{box.right, rect.top, rect.right, rect.bottom};
    FillSolid(dc, box, menu_);
    FillSolid(dc, textArea, selected ? highlight_ : menu_);
    DrawPicture(dc, *item, box, draw.itemState, (info.fType & MFT_RADIOCHECK) != 0);

    auto [label, accelerator] = SplitAtTab(item->text);
    RECT textRect{textArea.left + 4, rect.top, rect.right - 8, rect.bottom};
    SelectedObject font(dc, font_);
    int mode = SetBkMode(dc, TRANSPARENT);
    auto write = [&](const RECT& where, COLORREF colour) {
        SetTextColor(dc, colour);
        RECT r = where;
        DrawTextA(dc, label.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        r = where;
        if (!accelerator.empty()) DrawTextA(dc, accelerator.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    };
    if (disabled && !selected) {
        // Engraved: a light copy in the text's rectangle shrunk by one pixel on every side,
        // the grey text over it at its own place.
        write(RECT{textRect.left + 1, textRect.top + 1, textRect.right - 1, textRect.bottom - 1}, light_);
        write(textRect, greyText_);
    } else {
        write(textRect, disabled ? greyText_ : selected ? highlightText_ : menuText_);
    }
    SetBkMode(dc, mode);
    return true;
}

int CMenuPainter::FindMnemonic(char key, HMENU menu) const
{
    int wanted = std::toupper(static_cast<unsigned char>(key));
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = win::MenuItemTypeMask(false) | MIIM_DATA;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info) || !(info.fType & MFT_OWNERDRAW)) continue;
        const Item* item = Find(info.dwItemData);
        if (!item) continue;
        for (const char* p = item->text; *p; ++p) {
            if (*p != '&') continue;
            if (p[1] == '&') {
                ++p; // a literal ampersand
                continue;
            }
            if (std::toupper(static_cast<unsigned char>(p[1])) == wanted) return i;
            break;
        }
    }
    return -1;
}
