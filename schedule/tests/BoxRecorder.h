// Answers the schedule programs' message boxes in tests and keeps what they said.
#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "ScheduleMessages.h"

struct RecordedBox {
    std::string text;
    std::string caption;   // "<none>" when the box had the default caption
    UINT type = 0;
};

class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    // Answers given to the next boxes in turn; IDOK (or IDYES for Yes/No boxes) after that.
    void Answer(int answer) { answers_.push_back(answer); }
    const std::vector<RecordedBox>& Boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); }

private:
    static int Proc(HWND owner, const char* text, const char* caption, UINT type);
    static BoxRecorder* current_;
    schedule::MessageBoxProc previous_ = nullptr;
    std::vector<RecordedBox> boxes_;
    std::deque<int> answers_;
};
