#include "app/win32/droptarget.h"

namespace win32kit {

namespace {

DroppedNames namesIn(HDROP drop) {
    DroppedNames names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, name.data(), UINT(name.size() + 1));
        names.push_back(std::move(name));
    }
    return names;
}

DroppedNames namesOf(IDataObject* data) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&format, &medium)))
        return {}; // text or another kind of data: the logic answers it
    DroppedNames names = namesIn(static_cast<HDROP>(medium.hGlobal));
    ReleaseStgMedium(&medium);
    return names;
}

} // namespace

DropTarget::DropTarget(std::function<bool()> accepting, std::function<void(DroppedNames)> dropped)
    : accepting_(std::move(accepting)), dropped_(std::move(dropped)) {}

HRESULT STDMETHODCALLTYPE DropTarget::QueryInterface(REFIID riid, void** out) {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DropTarget::AddRef() {
    return ULONG(InterlockedIncrement(&refs_));
}

ULONG STDMETHODCALLTYPE DropTarget::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
        delete this;
    return ULONG(n);
}

HRESULT STDMETHODCALLTYPE DropTarget::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) {
    *effect = takenAs(*effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    *effect = takenAs(*effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragLeave() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    *effect = takenAs(*effect);
    if (*effect != DROPEFFECT_NONE)
        dropped_(namesOf(data));
    return S_OK;
}

DWORD DropTarget::takenAs(DWORD allowed) const {
    if (!accepting_())
        return DROPEFFECT_NONE;
    if (allowed & DROPEFFECT_COPY)
        return DROPEFFECT_COPY;
    return allowed & DROPEFFECT_LINK ? DROPEFFECT_LINK : DROPEFFECT_NONE;
}

bool DroppedOn(HWND receiver, HDROP drop, HWND target, DroppedNames& names) {
    POINT at{};
    DragQueryPoint(drop, &at);
    MapWindowPoints(receiver, target, &at, 1);
    RECT area;
    GetClientRect(target, &area);
    names = namesIn(drop);
    DragFinish(drop);
    return PtInRect(&area, at) != FALSE;
}

} // namespace win32kit
