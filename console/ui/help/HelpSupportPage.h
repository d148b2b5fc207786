// CHelpSupportPage: a property page with per-control popup help and no hand-written table.
// Each control's help id is its control id + 0x50000; a label or a group box has none of its
// own. The "?" button in the sheet's caption, F1 and a right click show a control's popup;
// the sheet's Help button shows the page's topic (template id + 0x20000).
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "PropertySheet.h"

// Map from 16-bit control id to 32-bit help id: 17 buckets chosen by (id / 16) modulo 17,
// entries taken from blocks of 10.
class HelpIdMap {
public:
    HelpIdMap() = default;
    HelpIdMap(const HelpIdMap&) = delete;
    HelpIdMap& operator=(const HelpIdMap&) = delete;

    void Set(uint16_t controlId, uint32_t helpId); // an existing key gets the new value
    uint32_t Find(uint16_t controlId) const;        // 0 when absent
    size_t Count() const noexcept { return count_; }
    void Clear();

private:
    static constexpr size_t kBuckets = 17;
    static constexpr size_t kBlockSize = 10;
    struct Entry {
        Entry* next = nullptr;
        uint16_t key = 0;
        uint32_t value = 0;
    };
    static size_t Bucket(uint16_t key) noexcept { return (key / 16u) % kBuckets; }
    Entry* NewEntry();

    Entry* buckets_[kBuckets] = {};
    std::vector<std::unique_ptr<Entry[]>> blocks_;
    size_t usedInBlock_ = kBlockSize;
    size_t count_ = 0;
};

class CHelpSupportPage : public win::PropertyPage {
public:
    explicit CHelpSupportPage(UINT templateId) : PropertyPage(templateId) {}

    // Fills the map from the page's child windows.
    virtual void SetupHelpIds();
    // The help id of a control of the page, 0 when it has none. A label or a group box
    // (id 0xFFFF) takes the id of the control that follows it, unless it is a group box.
    virtual uint32_t GetHelpId(HWND window) const;
    // The help id of the control at a screen point, 0 when there is none. A label gives its
    // control's help; inside a group box the control at the point is found, not the box.
    uint32_t HelpIdAt(POINT screenPoint) const;

    const HelpIdMap& HelpIds() const noexcept { return helpIds_; }

    // The page flags of a help-supporting page: the sheet shows a Help button.
    static constexpr DWORD kPageFlags = PSP_HASHELP;

protected:
    BOOL OnInitDialog() override;
    void OnHelp() override;
    INT_PTR OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void ShowPopupAt(uint32_t helpId, POINT at) const;
    void OnHelpMessage(const HELPINFO& info);

    HelpIdMap helpIds_;
};
