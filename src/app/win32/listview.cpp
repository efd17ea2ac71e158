#include "app/win32/listview.h"

#include "app/controls.h"
#include "app/win32/gdi.h"
#include "app/win32/resources.h"
#include "app/win32/win32toolkit.h"
#include "platform/fileservices.h"

#include <windowsx.h>

#include <algorithm>

namespace win32kit {

namespace {

HWND headerOf(HWND list) {
    return reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
}

// The letter columns are narrower than the header's margins around a text: the header leaves
// them to us, and we draw the letter centred.
bool isLetterColumn(int column) {
    return column >= filelist::RColumn && column <= filelist::HColumn;
}

} // namespace

ListView::~ListView() {
    detach();
}

void ListView::detach() {
    if (IsWindow(list_)) {
        RevokeDragDrop(list_);
        RemoveWindowSubclass(list_, subclassProc, 0);
    }
    if (dropTarget_)
        dropTarget_->Release();
    dropTarget_ = nullptr;
    list_ = nullptr;
}

void ListView::attach(HWND list, app::Form1& logic, HFONT font, int dpi) {
    list_ = list;
    logic_ = &logic;
    font_ = font;
    dpi_ = dpi;
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    setIcons();
    const auto columns = app::Columns();
    const HWND header = headerOf(list_);
    for (int c = 0; c < int(columns.size()); ++c) {
        std::wstring text = Widen(columns[std::size_t(c)].header);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = columns[std::size_t(c)].centred ? LVCFMT_CENTER : LVCFMT_LEFT;
        column.cx = columnWidth(c);
        column.pszText = text.data();
        column.iSubItem = c;
        SendMessageW(list_, LVM_INSERTCOLUMNW, WPARAM(c), LPARAM(&column));
        if (!isLetterColumn(c))
            continue;
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, WPARAM(c), LPARAM(&item));
        item.fmt |= HDF_OWNERDRAW;
        SendMessageW(header, HDM_SETITEMW, WPARAM(c), LPARAM(&item));
    }
    SetWindowSubclass(list_, subclassProc, 0, DWORD_PTR(this));
    DragAcceptFiles(list_, TRUE);
    dropTarget_ =
        new DropTarget([this] { return accepting_; },
                       [this](DroppedNames names) { logic_->Liste_OLEDragDrop(std::move(names)); });
    RegisterDragDrop(list_, dropTarget_);
}

void ListView::setIcons() {
    const int size = MulDiv(16, dpi_, 96);
    const HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0);
    for (int id : {IDI_FOLDER, IDI_SHEET})
        ImageList_AddIcon(images, LoadIconResource(id, size).get()); // the list keeps a copy
    // The list frees the image list it holds when it goes; one it gives back is ours.
    if (const auto old = reinterpret_cast<HIMAGELIST>(
            SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(images))))
        ImageList_Destroy(old);
}

int ListView::columnWidth(int column) const {
    const int width = Px(app::Columns()[std::size_t(column)].width, dpi_);
    if (column == filelist::TypeColumn) {
        // The header's caption with the margins the header draws around a text, and the icon
        // with the list's margins around it.
        const int caption = int(TextExtent(font_, Widen(app::Columns()[0].header)).cx) +
                            6 * GetSystemMetrics(SM_CXEDGE) + MulDiv(4, dpi_, 96);
        return std::max({width, caption, MulDiv(16 + 12, dpi_, 96)});
    }
    if (column != filelist::DateColumn)
        return width;
    // The date column takes what its widest text needs, never less than its design.
    const SIZE widest = TextExtent(font_, Widen(platform::formatLastWrite(1230494338)));
    return std::max(width, int(widest.cx) + Px(240, dpi_));
}

void ListView::rescale(HFONT font, int dpi) {
    font_ = font;
    dpi_ = dpi;
    SendMessageW(list_, WM_SETFONT, WPARAM(font_), TRUE);
    setIcons();
    for (int c = 0; c < int(app::Columns().size()); ++c)
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, WPARAM(c), columnWidth(c));
}

// ---------------------------------------------------------------- what the logic tells

void ListView::rowsInserted() {
    if (pending() == 0)
        return;
    published_ = logic_->rows().size();
    SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(published_), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, FALSE);
}

void ListView::rowsChanged() {
    InvalidateRect(list_, nullptr, FALSE);
}

void ListView::reset() {
    published_ = logic_->rows().size();
    SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(published_), 0);
    // No row is current until the user picks one again.
    const int focused = int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (focused >= 0) {
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED;
        SendMessageW(list_, LVM_SETITEMSTATE, WPARAM(focused), LPARAM(&state));
    }
    InvalidateRect(list_, nullptr, FALSE);
}

void ListView::setCurrent(std::size_t position) {
    if (position < pending() || position >= logic_->rows().size())
        return;
    const int item = int(position - pending());
    LVITEMW state{};
    state.stateMask = LVIS_FOCUSED;
    state.state = LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, WPARAM(item), LPARAM(&state));
    SendMessageW(list_, LVM_ENSUREVISIBLE, WPARAM(item), FALSE);
    InvalidateRect(list_, nullptr, FALSE);
}

void ListView::showSortIndicator(int key, int order) {
    const HWND header = headerOf(list_);
    for (int c = 0; c < int(app::Columns().size()); ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, WPARAM(c), LPARAM(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == key)
            item.fmt |= order == 0 ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, WPARAM(c), LPARAM(&item));
    }
}

void ListView::filesDropped(HWND receiver, HDROP drop) {
    DroppedNames names;
    if (DroppedOn(receiver, drop, list_, names) && accepting_)
        logic_->Liste_OLEDragDrop(std::move(names));
}

// ---------------------------------------------------------------- painting

LRESULT ListView::onNotify(NMHDR* header) {
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        const std::size_t position = std::size_t(item.iItem) + pending();
        if (position >= logic_->rows().size())
            return 0;
        const filelist::Row& row = logic_->rows().at(position);
        if (item.mask & LVIF_TEXT) {
            cell_ = item.iSubItem == filelist::NameColumn
                        ? row.path
                        : Widen(filelist::CellText(row, item.iSubItem));
            lstrcpynW(item.pszText, cell_.c_str(), item.cchTextMax);
        }
        if (item.mask & LVIF_IMAGE)
            item.iImage = row.isFolder ? 0 : 1;
        return 0;
    }
    case NM_CUSTOMDRAW: {
        auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(header);
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
            return CDRF_DODEFAULT;
        // The marks live in the rows: painted as the selection.
        const std::size_t position = std::size_t(draw.nmcd.dwItemSpec) + pending();
        if (position < logic_->rows().size() && logic_->rows().at(position).marked) {
            draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
            draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
        }
        draw.nmcd.uItemState &= ~UINT(CDIS_SELECTED | CDIS_FOCUS);
        return CDRF_NEWFONT;
    }
    case LVN_COLUMNCLICK:
        logic_->Liste_ColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem + 1);
        return 0;
    default:
        return 0;
    }
}

void ListView::drawHeaderItem(const DRAWITEMSTRUCT& item) const {
    const auto columns = app::Columns();
    if (item.itemID >= columns.size())
        return;
    const std::wstring text = Widen(columns[item.itemID].header);
    RECT r = item.rcItem;
    const HGDIOBJ old =
        SelectObject(item.hDC, HGDIOBJ(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(item.hDC, text.c_str(), int(text.size()), &r,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}

// ---------------------------------------------------------------- gestures

LRESULT CALLBACK ListView::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    if (reinterpret_cast<ListView*>(self)->onMessage(message, wParam, lParam))
        return message == WM_DRAWITEM ? TRUE : 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool ListView::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: { // the second click of a double click is a click like the first
        LVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const int item = int(SendMessageW(list_, LVM_HITTEST, 0, LPARAM(&hit)));
        const std::size_t position = item >= 0 && (hit.flags & LVHT_ONITEM)
                                         ? std::size_t(item) + pending()
                                         : filelist::Marking::None;
        SetFocus(list_);
        logic_->Liste_MouseDown(position, wParam & MK_CONTROL, wParam & MK_SHIFT);
        if (position != filelist::Marking::None)
            setCurrent(position);
        return true;
    }
    case WM_LBUTTONUP:
        logic_->Liste_Click();
        return true;
    case WM_KEYDOWN: {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
        filelist::ListKey key;
        switch (wParam) {
        case VK_UP:
            key = filelist::ListKey::Up;
            break;
        case VK_DOWN:
            key = filelist::ListKey::Down;
            break;
        case VK_PRIOR:
            key = filelist::ListKey::PageUp;
            break;
        case VK_NEXT:
            key = filelist::ListKey::PageDown;
            break;
        case VK_HOME:
            key = filelist::ListKey::Home;
            break;
        case VK_END:
            key = filelist::ListKey::End;
            break;
        case VK_SPACE:
            key = filelist::ListKey::Space;
            break;
        case 'A':
            if (!ctrl)
                return false;
            key = filelist::ListKey::SelectAll;
            break;
        default:
            return false; // Tab and the rest leave the list as usual
        }
        const auto page = SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0);
        logic_->Liste_KeyDown(key, ctrl, shift, std::size_t(std::max<LRESULT>(page, 1)));
        return true;
    }
    case WM_DROPFILES:
        filesDropped(list_, reinterpret_cast<HDROP>(wParam));
        return true;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.CtlType != ODT_HEADER)
            return false;
        drawHeaderItem(item);
        return true;
    }
    default:
        return false;
    }
}

} // namespace win32kit
