// Owner-drawn menus for a frame window: each command item shows its toolbar picture at the
// left, checked items without a picture show a check mark, disabled items are embossed.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <utility>
#include <vector>

class CMenuPainter {
public:
    static constexpr int kNoPicture = -1;
    static constexpr int kSeparator = -3;

    // Reads the menu colours and the menu font of the moment.
    CMenuPainter();
    ~CMenuPainter();
    CMenuPainter(const CMenuPainter&) = delete;
    CMenuPainter& operator=(const CMenuPainter&) = delete;

    // Adds the pictures of a toolbar resource (light grey transparent) and records one
    // (command, picture) pair per button. False (last error kept) when it cannot be read.
    bool LoadPictures(HINSTANCE instance, UINT toolbarResource);
    // The 19 x 19 check marks of a bitmap, its greys mapped to the current 3D colours
    // (first picture: tick, second: radio bullet).
    bool LoadCheckMarks(HINSTANCE instance, UINT bitmap);
    int PictureOf(UINT command) const;

    // Makes every item of `menu` and its submenus owner-drawn (once per item).
    void PreparePopup(HMENU menu);
    // False when the item is not one of this painter's.
    bool MeasureItem(MEASUREITEMSTRUCT& item) const;
    bool DrawItem(const DRAWITEMSTRUCT& item) const;
    // The position of the owner-drawn item of `menu` whose text has "&" + key; -1 if none.
    int FindMnemonic(char key, HMENU menu) const;

private:
    struct Item {
        int picture = kNoPicture;
        UINT command = 0;
        char text[128] = "";
        HMENU menu = nullptr;
    };
    const Item* Find(ULONG_PTR data) const;
    void DrawPicture(HDC dc, const Item& item, const RECT& box, UINT state, bool radio) const;
    int PictureWidth() const noexcept { return pictureSize_.cx; }
    int PictureHeight() const noexcept { return pictureSize_.cy; }

    HIMAGELIST pictures_ = nullptr;
    HIMAGELIST checks_ = nullptr;
    SIZE pictureSize_{16, 16};
    std::vector<std::pair<UINT, int>> table_;
    std::vector<std::unique_ptr<Item>> items_;
    HFONT font_ = nullptr;
    COLORREF menuText_, highlightText_, face_, menu_, highlight_, light_, shadow_, greyText_;
};
