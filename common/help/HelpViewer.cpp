#include "HelpViewer.h"

#include <htmlhelp.h>
#include <objbase.h>
#include <objidl.h>

#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "SystemText.h"

namespace help {

// The storage interface of compiled help files (itss.dll), as the platform documents it. It
// stays outside the anonymous namespace: there the compiler would take it for a type no object
// can have and drop the calls through it.
const CLSID kItStorageClass = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kItStorageInterface = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};

struct IITStorage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR* name, IStorage* priority, DWORD mode,
                                                     SNB exclude, DWORD reserved, IStorage** storage) = 0;
};

namespace {

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

HtmlHelpFunction Viewer()
{
    static HMODULE module = win::LoadSystemLibrary("hhctrl.ocx");
    static auto function = module ? reinterpret_cast<HtmlHelpFunction>(
                                        reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpA")))
                                  : nullptr;
    return function;
}

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    T** Receive() { return &p_; }
    void Attach(void* p) { p_ = static_cast<T*>(p); }

private:
    T* p_ = nullptr;
};

// COM for the calling thread while it lives, unless the thread has it already.
class ComScope {
public:
    ComScope() : owned_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (owned_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool owned_;
};

std::wstring Wide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

bool ReadStream(IStorage* storage, const wchar_t* name, std::string& bytes)
{
    ComPtr<IStream> stream;
    if (FAILED(storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Receive())))
        return false;
    bytes.clear();
    char buffer[4096];
    for (;;) {
        ULONG read = 0;
        HRESULT status = stream->Read(buffer, sizeof(buffer), &read);
        if (FAILED(status)) return false;
        bytes.append(buffer, read);
        if (read == 0 || status == S_FALSE) return true;
    }
}

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The number a popup name stands for: its "#define" in the header, or the name itself
// when it is a number.
bool ResolveName(const std::string& header, const std::string& name, DWORD& id)
{
    char* end = nullptr;
    unsigned long number = std::strtoul(name.c_str(), &end, 0);
    if (!name.empty() && end && *end == '\0') {
        id = static_cast<DWORD>(number);
        return true;
    }
    size_t at = 0;
    while ((at = header.find("#define", at)) != std::string::npos) {
        at += 7;
        size_t lineEnd = header.find('\n', at);
        std::string line = header.substr(at, lineEnd == std::string::npos ? std::string::npos : lineEnd - at);
        size_t nameStart = line.find_first_not_of(" \t");
        if (nameStart == std::string::npos) continue;
        size_t nameEnd = line.find_first_of(" \t", nameStart);
        if (nameEnd == std::string::npos || line.compare(nameStart, nameEnd - nameStart, name) != 0) continue;
        std::string value = Trim(line.substr(nameEnd));
        number = std::strtoul(value.c_str(), &end, 0);
        if (value.empty() || (end && *end != '\0')) return false;
        id = static_cast<DWORD>(number);
        return true;
    }
    return false;
}

// Reads the files `names` of the help file into `contents`, in their order.
bool ReadHelpFileStreams(const std::string& file, std::initializer_list<const wchar_t*> names,
                         std::vector<std::string>& contents)
{
    ComScope com;
    void* created = nullptr;
    if (FAILED(CoCreateInstance(kItStorageClass, nullptr, CLSCTX_INPROC_SERVER, kItStorageInterface, &created)))
        return false;
    ComPtr<IITStorage> storages;
    storages.Attach(created);
    ComPtr<IStorage> storage;
    std::wstring name = Wide(file);
    if (FAILED(storages->StgOpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                        storage.Receive())))
        return false;
    contents.clear();
    for (const wchar_t* stream : names) {
        contents.emplace_back();
        if (!ReadStream(storage.Get(), stream, contents.back())) return false;
    }
    return true;
}

// Calls `entry(id, topic)` for every "id=topic" line of the context map until it returns true.
template <class Entry>
bool ForEachContext(const std::string& contexts, Entry entry)
{
    size_t start = 0;
    while (start < contexts.size()) {
        size_t end = contexts.find('\n', start);
        if (end == std::string::npos) end = contexts.size();
        std::string line = Trim(contexts.substr(start, end - start));
        start = end + 1;
        size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        std::string number = Trim(line.substr(0, equals));
        char* last = nullptr;
        unsigned long id = std::strtoul(number.c_str(), &last, 10);
        std::string topic = Trim(line.substr(equals + 1));
        if (!last || *last != '\0' || topic.empty()) continue;
        if (entry(static_cast<DWORD>(id), topic)) return true;
    }
    return false;
}

} // namespace

HWND ShowTopic(HWND owner, const std::string& file, DWORD contextId)
{
    HtmlHelpFunction viewer = Viewer();
    std::string topic;
    if (!viewer || !ReadContextTopic(file, contextId, topic)) return nullptr;
    std::string location = file + "::/" + topic;
    return viewer(owner, location.c_str(), HH_DISPLAY_TOPIC, 0);
}

bool FindContextTopic(const std::string& contexts, DWORD contextId, std::string& topic)
{
    return ForEachContext(contexts, [&](DWORD id, const std::string& name) {
        if (id != contextId) return false;
        topic = name;
        return true;
    });
}

bool ReadContextTopic(const std::string& file, DWORD contextId, std::string& topic)
{
    std::vector<std::string> contents;
    return ReadHelpFileStreams(file, {L"contexts.txt"}, contents) && FindContextTopic(contents[0], contextId, topic);
}

std::vector<DWORD> ReadContextIds(const std::string& file)
{
    std::vector<DWORD> ids;
    std::vector<std::string> contents;
    if (ReadHelpFileStreams(file, {L"contexts.txt"}, contents))
        ForEachContext(contents[0], [&](DWORD id, const std::string&) {
            ids.push_back(id);
            return false;
        });
    return ids;
}

HWND ShowContents(HWND owner, const std::string& file)
{
    HtmlHelpFunction viewer = Viewer();
    return viewer ? viewer(owner, file.c_str(), HH_DISPLAY_TOC, 0) : nullptr;
}

HWND ShowPopup(HWND owner, const std::string& file, DWORD contextId, POINT at)
{
    if (HtmlHelpFunction viewer = Viewer()) {
        HH_POPUP popup = {};
        popup.cbStruct = sizeof(popup);
        popup.idString = contextId;
        popup.pt = at;
        popup.clrForeground = popup.clrBackground = static_cast<COLORREF>(-1);
        popup.rcMargins = {-1, -1, -1, -1};
        std::string source = file + "::/popups.txt";
        if (HWND shown = viewer(owner, source.c_str(), HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup)))
            return shown;
    }
    std::string text;
    if (!ReadPopupText(file, contextId, text)) return nullptr;
    return ShowTextPopup(owner, text, at);
}

void CloseAll()
{
    if (HWND popup = CurrentTextPopup()) DestroyWindow(popup);
    if (HtmlHelpFunction viewer = Viewer()) viewer(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

bool FindPopupText(const std::string& header, const std::string& texts, DWORD contextId, std::string& text)
{
    size_t at = 0;
    while ((at = texts.find(".topic", at)) != std::string::npos) {
        bool lineStart = at == 0 || texts[at - 1] == '\n';
        at += 6;
        if (!lineStart) continue;
        size_t lineEnd = texts.find('\n', at);
        if (lineEnd == std::string::npos) lineEnd = texts.size();
        DWORD id = 0;
        if (!ResolveName(header, Trim(texts.substr(at, lineEnd - at)), id) || id != contextId) continue;
        size_t next = texts.find("\n.topic", lineEnd);
        std::string body = Trim(texts.substr(lineEnd, next == std::string::npos ? std::string::npos : next - lineEnd));
        if (body.empty()) return false;
        // Lines of one paragraph join with a blank; an empty line starts a new paragraph.
        text.clear();
        size_t start = 0;
        while (start <= body.size()) {
            size_t end = body.find('\n', start);
            std::string line = Trim(body.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (line.empty()) {
                if (!text.empty() && text.back() != '\n') text += "\r\n\r\n";
            } else
                text += (text.empty() || text.back() == '\n' ? "" : " ") + line;
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return true;
    }
    return false;
}

bool ReadPopupText(const std::string& file, DWORD contextId, std::string& text)
{
    std::vector<std::string> contents;
    return ReadHelpFileStreams(file, {L"popups.h", L"popups.txt"}, contents) &&
           FindPopupText(contents[0], contents[1], contextId, text);
}

} // namespace help
