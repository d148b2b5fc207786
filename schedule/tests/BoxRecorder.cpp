#include "BoxRecorder.h"

BoxRecorder* BoxRecorder::current_ = nullptr;

BoxRecorder::BoxRecorder()
{
    current_ = this;
    previous_ = schedule::SetMessageBoxProc(&BoxRecorder::Proc);
}

BoxRecorder::~BoxRecorder()
{
    schedule::SetMessageBoxProc(previous_);
    current_ = nullptr;
}

int BoxRecorder::Proc(HWND, const char* text, const char* caption, UINT type)
{
    BoxRecorder* self = current_;
    if (!self) return IDCANCEL;
    self->boxes_.push_back({text ? text : "", caption ? caption : "<none>", type});
    if (!self->answers_.empty()) {
        int answer = self->answers_.front();
        self->answers_.pop_front();
        return answer;
    }
    return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}
