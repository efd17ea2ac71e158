// Drops on the list: the shell's drop target (CF_HDROP through OLE) and the file list that Wine
// sends as WM_DROPFILES for a file manager's drag. Both hand over the names in their order.
#pragma once

#include "filelist/rowstore.h"

#include <ole2.h>
#include <shellapi.h>
#include <windows.h>

#include <functional>
#include <vector>

namespace win32kit {

using DroppedNames = std::vector<filelist::PathString>;

/// The list's drop target: a drop is taken as a copy (or a link), never as a move, and refused
/// while \p accepting says no. COM counts its references; it starts with one.
class DropTarget : public IDropTarget {
public:
    DropTarget(std::function<bool()> accepting, std::function<void(DroppedNames)> dropped);
    virtual ~DropTarget() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override;

private:
    DWORD takenAs(DWORD allowed) const;

    std::function<bool()> accepting_;
    std::function<void(DroppedNames)> dropped_;
    LONG refs_ = 1;
};

/// The names of a file list sent to \p receiver, if it was let go over \p target; the list is
/// freed either way.
bool DroppedOn(HWND receiver, HDROP drop, HWND target, DroppedNames& names);

} // namespace win32kit
