// The form window's controls: creating them, keeping them in step with the
// model, tab order, tool tips and timers.
#include <algorithm>

#include "ui/mnemonics.h"
#include "ui/tab_order.h"
#include "ui/text_shorten.h"
#include "ui/win32/form_window.h"
#include "ui/win32/toolkit_impl.h"

// After <windows.h>, which the toolkit headers bring in.
#include <commctrl.h>

namespace w32ui {

using hv::ui::Control;
using hv::ui::Kind;

namespace {

HINSTANCE Module() { return ::GetModuleHandleA(nullptr); }

RECT ToRect(const hv::ui::Rect& r) { return RECT{r.left, r.top, r.left + r.width, r.top + r.height}; }

// What a list view's first column keeps of its width around the text.
constexpr int kListLabelPadding = 16;

bool Focusable(Kind kind) {
  return kind == Kind::Button || kind == Kind::SkinButton || kind == Kind::FlatButton || kind == Kind::CheckBox ||
         kind == Kind::ListView;
}

// The edit control wants CR LF line breaks; the model keeps plain LF.
std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

int ColumnFormat(hv::ui::Align align) {
  return align == hv::ui::Align::Right ? LVCFMT_RIGHT : align == hv::ui::Align::Center ? LVCFMT_CENTER : LVCFMT_LEFT;
}

// Tab position of a control among all of the form's controls: the tab
// orders of its parents, then its own.
std::vector<int> TabPath(const Control& control) {
  std::vector<int> path;
  for (const Control* c = &control; c != nullptr; c = c->Parent()) path.insert(path.begin(), c->TabOrder());
  return path;
}

}  // namespace

FormWindow::Slot* FormWindow::SlotOf(const hv::ui::Component* component) const {
  for (const auto& slot : slots_) {
    if (slot->component == component) return slot.get();
  }
  return nullptr;
}

FormWindow::Slot& FormWindow::AddSlot(hv::ui::Component& component) {
  auto slot = std::make_unique<Slot>();
  slot->owner = this;
  slot->index = slots_.size();
  slot->component = &component;
  slot->how = RealisationOf(component.GetKind());
  // A dialog's link is a window of its own so that Tab reaches it; the main
  // window's link stays painted and off its keyboard path (Help opens the
  // same page).
  if (slot->how == Realisation::Painted && form_.Border() != hv::ui::BorderStyle::None &&
      LooksLikeLink(static_cast<const Control&>(component))) {
    slot->how = Realisation::Skinned;
  }
  Slot& ref = *slot;
  slots_.push_back(std::move(slot));
  CreateChild(ref);
  SyncSlot(ref);
  return ref;
}

void FormWindow::CreateChild(Slot& slot) {
  if (slot.how != Realisation::Skinned && slot.how != Realisation::ListView && slot.how != Realisation::Memo) {
    return;
  }
  auto& control = static_cast<Control&>(*slot.component);
  const RECT r = ToRect(control.FormBounds());
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (control.Showing()) style |= WS_VISIBLE;
  if (!control.EnabledWithParents()) style |= WS_DISABLED;
  if (Focusable(control.GetKind()) || LooksLikeLink(control)) style |= WS_TABSTOP;
  const HMENU id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(slot.index + kFirstControlId));
  const int w = r.right - r.left, h = r.bottom - r.top;
  HWND child = nullptr;
  switch (slot.how) {
    case Realisation::Skinned:
      child = ::CreateWindowExA(0, "HivoraSkinControl", control.Caption().c_str(), style, r.left, r.top, w,
                                h, window_, id, Module(), &slot);
      break;
    case Realisation::ListView:
      child = ::CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                style | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, r.left, r.top,
                                w, h, window_, id, Module(), nullptr);
      break;
    case Realisation::Memo:
      child = ::CreateWindowExA(0, "EDIT", WithCrLf(control.Caption()).c_str(),
                                style | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, r.left, r.top, w, h,
                                window_, id, Module(), nullptr);
      break;
    default:
      break;
  }
  slot.child = child;
  if (child != nullptr) {
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control)), FALSE);
  }
}

void FormWindow::OrderChildren() {
  std::vector<Slot*> windowed;
  for (auto& slot : slots_) {
    if (slot->child != nullptr) windowed.push_back(slot.get());
  }
  std::stable_sort(windowed.begin(), windowed.end(), [](const Slot* a, const Slot* b) {
    return TabPath(static_cast<const Control&>(*a->component)) <
           TabPath(static_cast<const Control&>(*b->component));
  });
  // A dialog is read row by row, and Tab goes the way it is read; the main
  // window keeps its authored order (its buttons' column before its list).
  if (form_.Border() != hv::ui::BorderStyle::None) {
    std::vector<const Control*> controls;
    for (const Slot* slot : windowed) controls.push_back(static_cast<const Control*>(slot->component));
    const std::vector<const Control*> order = hv::ui::VisualOrder(controls);
    std::vector<Slot*> sorted;
    for (const Control* control : order) {
      for (Slot* slot : windowed) {
        if (slot->component == control) sorted.push_back(slot);
      }
    }
    windowed = std::move(sorted);
  }
  // The z-order is the tab order: the first control on top.
  HWND after = HWND_TOP;
  for (Slot* slot : windowed) {
    ::SetWindowPos(slot->child, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = slot->child;
  }
}

void FormWindow::FocusFirst() {
  if (window_ == nullptr) return;
  // A dialog's default button, when it can take the focus; else the first
  // control in the tab order.
  for (const auto& slot : slots_) {
    if (!IsPushButton(*slot)) continue;
    const auto& control = static_cast<const Control&>(*slot->component);
    if (control.Default() && control.Usable() && (::GetWindowLongA(slot->child, GWL_STYLE) & WS_TABSTOP) != 0) {
      ::SetFocus(slot->child);
      return;
    }
  }
  HWND first = ::GetNextDlgTabItem(window_, nullptr, FALSE);
  if (first != nullptr && (::GetWindowLongA(first, GWL_STYLE) & WS_TABSTOP) != 0) {
    ::SetFocus(first);
  }
}

void FormWindow::Changed(hv::ui::Component* component) {
  if (window_ == nullptr) return;
  if (component == nullptr) {
    SyncForm();
    return;
  }
  Slot* slot = SlotOf(component);
  if (slot == nullptr) {
    // A component added after the window was made.
    AddSlot(*component);
    OrderChildren();
    return;
  }
  SyncSlot(*slot);
}

void FormWindow::SyncForm() {
  const bool borderless = form_.Border() == hv::ui::BorderStyle::None;
  const std::string title = borderless && !toolkit_.AppTitle().empty() ? toolkit_.AppTitle() : form_.Caption();
  if (WindowText(window_) != title) ::SetWindowTextA(window_, title.c_str());
  RECT client{};
  ::GetClientRect(window_, &client);
  if (client.right != form_.ClientWidth() || client.bottom != form_.ClientHeight()) {
    RECT frame{0, 0, form_.ClientWidth(), form_.ClientHeight()};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongA(window_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(window_, GWL_EXSTYLE)));
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void FormWindow::SyncSlot(Slot& slot) {
  switch (slot.how) {
    case Realisation::Painted:
      AutoSize(slot);
      SyncPainted(slot);
      SyncTool(slot);
      break;
    case Realisation::Skinned:
      AutoSize(slot);  // a dialog's link
      SyncChild(slot);
      SyncTool(slot);
      break;
    case Realisation::ListView:
    case Realisation::Memo:
      SyncChild(slot);
      SyncTool(slot);
      break;
    case Realisation::None:
      if (slot.component->GetKind() == Kind::Timer) SyncTimer(slot);
      break;
  }
}

// A label or link the layout gave no size takes the size of its text.
void FormWindow::AutoSize(Slot& slot) {
  const Kind kind = slot.component->GetKind();
  if (kind != Kind::Label && kind != Kind::UrlLabel) return;
  auto& control = static_cast<Control&>(*slot.component);
  if (control.Width() > 0 && control.Height() > 0) return;
  WindowDc dc(window_);
  Selected font(dc.get(), FontFor(control));
  RECT measure{0, 0, 0, 0};
  const std::string& text = control.Caption();
  ::DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &measure, DT_SINGLELINE | DT_CALCRECT);
  toolkit_.Guard([&] { control.SetBounds({control.Left(), control.Top(), measure.right, measure.bottom}); });
}

void FormWindow::SyncPainted(Slot& slot) {
  auto& control = static_cast<Control&>(*slot.component);
  const RECT now = control.Showing() ? ToRect(control.FormBounds()) : RECT{};
  const RECT before = slot.shown;
  slot.shown = now;
  if (!control.Showing() || !control.EnabledWithParents()) {
    if (hot_ == &slot) hot_ = nullptr;
    slot.hot = false;
    if (pressed_ == &slot) {
      pressed_ = nullptr;
      slot.pressed = false;
      ::ReleaseCapture();
    }
  }
  for (const RECT& r : {before, now}) {
    if (::IsRectEmpty(&r)) continue;
    RECT area = r;
    ::InflateRect(&area, 3, 3);
    ::InvalidateRect(window_, &area, FALSE);
    // Skinned controls paint the surface under them as their background.
    for (auto& other : slots_) {
      if (other->how != Realisation::Skinned || other->child == nullptr) continue;
      const RECT o = ToRect(static_cast<Control&>(*other->component).FormBounds());
      RECT meet{};
      if (::IntersectRect(&meet, &o, &area)) ::InvalidateRect(other->child, nullptr, FALSE);
    }
  }
}

void FormWindow::SyncChild(Slot& slot) {
  HWND child = slot.child;
  if (child == nullptr) return;
  auto& control = static_cast<Control&>(*slot.component);
  const hv::ui::Rect b = control.FormBounds();
  RECT current{};
  ::GetWindowRect(child, &current);
  ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&current), 2);
  if (current.left != b.left || current.top != b.top || current.right - current.left != b.width ||
      current.bottom - current.top != b.height) {
    ::SetWindowPos(child, nullptr, b.left, b.top, b.width, b.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (control.GetKind() == Kind::FlatButton || control.GetKind() == Kind::CheckBox) {
    // Its text and the letters of the others follow the captions.
    SyncMnemonics();
  } else if (slot.how != Realisation::ListView) {
    const std::string text = slot.how == Realisation::Memo ? MemoText(slot) : control.Caption();
    if (WindowText(child) != text) ::SetWindowTextA(child, text.c_str());
  }
  const bool shown = control.Showing();
  if ((::IsWindowVisible(child) != 0) != shown) ::ShowWindow(child, shown ? SW_SHOWNA : SW_HIDE);
  const bool enabled = control.EnabledWithParents();
  if ((::IsWindowEnabled(child) != 0) != enabled) ::EnableWindow(child, enabled ? TRUE : FALSE);
  if (slot.how == Realisation::ListView) SyncListView(slot);
  ::InvalidateRect(child, nullptr, FALSE);
}

void FormWindow::SyncMnemonics() {
  const auto derived = hv::ui::DerivedMnemonics(form_);
  for (const auto& slot : slots_) {
    const Kind kind = slot->component->GetKind();
    if ((kind != Kind::FlatButton && kind != Kind::CheckBox) || slot->child == nullptr) continue;
    const auto* control = static_cast<const Control*>(slot->component);
    const auto found = derived.find(control);
    const std::string& text = found != derived.end() ? found->second : control->Caption();
    if (WindowText(slot->child) == text) continue;
    ::SetWindowTextA(slot->child, text.c_str());
    ::InvalidateRect(slot->child, nullptr, FALSE);
  }
}

void FormWindow::InvalidatePushButtons() {
  for (const auto& slot : slots_) {
    if (IsPushButton(*slot)) ::InvalidateRect(slot->child, nullptr, FALSE);
  }
}

void FormWindow::SyncListView(Slot& slot) {
  HWND list = slot.child;
  const auto& view = static_cast<const hv::ui::ListView&>(*slot.component);
  const auto& columns = view.Columns();

  auto sameColumn = [](const hv::ui::ListColumn& a, const hv::ui::ListColumn& b) {
    return a.caption == b.caption && a.width == b.width && a.align == b.align;
  };
  if (!slot.listReady || slot.columns.size() != columns.size()) {
    // Columns replaced: start afresh, rows included.
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageA(list, LVM_DELETECOLUMN, 0, 0) != 0) {
    }
    slot.rows.clear();
    slot.shownCaptions.clear();
    slot.columns.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
      column.fmt = ColumnFormat(columns[i].align);
      column.cx = columns[i].width;
      column.pszText = const_cast<char*>(columns[i].caption.c_str());
      column.iSubItem = static_cast<int>(i);
      ::SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    slot.columns = columns;
  } else {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (sameColumn(columns[i], slot.columns[i])) continue;
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      column.fmt = ColumnFormat(columns[i].align);
      column.cx = columns[i].width;
      column.pszText = const_cast<char*>(columns[i].caption.c_str());
      ::SendMessageA(list, LVM_SETCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
      slot.columns[i] = columns[i];
    }
  }

  if (!slot.listReady || slot.gridLines != view.GridLines()) {
    // A name shortened to fit its column shows whole in a tip.
    const DWORD mask = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
    const DWORD value = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_INFOTIP |
                        (view.GridLines() ? LVS_EX_GRIDLINES : 0);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, value);
    slot.gridLines = view.GridLines();
    // A row's tip may hold more than one line; the tool tip breaks lines
    // only when it has a width to break to.
    const auto tips = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETTOOLTIPS, 0, 0));
    if (tips != nullptr) ::SendMessageA(tips, TTM_SETMAXTIPWIDTH, 0, 600);
  }
  slot.listReady = true;

  const auto& rows = view.Rows();
  const std::size_t subCount = columns.empty() ? 0 : columns.size() - 1;
  auto cell = [](const hv::ui::ListRow& row, std::size_t sub) -> const std::string& {
    static const std::string empty;
    return sub < row.subItems.size() ? row.subItems[sub] : empty;
  };
  auto setText = [&](std::size_t item, std::size_t sub, const std::string& text) {
    LVITEMA entry{};
    entry.iSubItem = static_cast<int>(sub);
    entry.pszText = const_cast<char*>(text.c_str());
    ::SendMessageA(list, LVM_SETITEMTEXTA, item, reinterpret_cast<LPARAM>(&entry));
  };
  // The first column shows each caption shortened in the middle to its
  // width, so that names differing only at their end stay apart.
  WindowDc dc(list);
  Selected font(dc.get(), FontFor(static_cast<const Control&>(view)));
  auto measure = [&dc](std::string_view text) {
    SIZE size{};
    ::GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  // The first column as wide as it is now: the user may have widened it.
  const int width = columns.empty() ? 0 : static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
  const int room = (width > 0 ? width : columns.empty() ? 0 : columns[0].width) - kListLabelPadding;
  auto shownCaption = [&](const hv::ui::ListRow& row) { return hv::ui::ShortenInMiddle(row.caption, room, measure); };
  slot.shownCaptions.resize(std::min(slot.shownCaptions.size(), rows.size()));

  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string caption = shownCaption(rows[i]);
    if (i >= slot.rows.size()) {
      LVITEMA entry{};
      entry.mask = LVIF_TEXT;
      entry.iItem = static_cast<int>(i);
      entry.pszText = const_cast<char*>(caption.c_str());
      ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry));
      for (std::size_t s = 0; s < subCount; ++s) setText(i, s + 1, cell(rows[i], s));
      slot.shownCaptions.push_back(caption);
      continue;
    }
    const hv::ui::ListRow& shown = slot.rows[i];
    if (slot.shownCaptions[i] != caption) {
      setText(i, 0, caption);
      slot.shownCaptions[i] = caption;
    }
    for (std::size_t s = 0; s < subCount; ++s) {
      if (cell(shown, s) != cell(rows[i], s)) setText(i, s + 1, cell(rows[i], s));
    }
  }
  for (std::size_t i = slot.rows.size(); i > rows.size(); --i) {
    ::SendMessageA(list, LVM_DELETEITEM, i - 1, 0);
  }
  slot.rows = rows;
}

void FormWindow::ReshortenList(Slot& slot, int width) {
  HWND list = slot.child;
  if (list == nullptr || !slot.listReady) return;
  WindowDc dc(list);
  Selected font(dc.get(), FontFor(static_cast<const Control&>(*slot.component)));
  auto measure = [&dc](std::string_view text) {
    SIZE size{};
    ::GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  for (std::size_t i = 0; i < slot.rows.size() && i < slot.shownCaptions.size(); ++i) {
    const std::string caption = hv::ui::ShortenInMiddle(slot.rows[i].caption, width - kListLabelPadding, measure);
    if (caption == slot.shownCaptions[i]) continue;
    LVITEMA entry{};
    entry.iSubItem = 0;
    entry.pszText = const_cast<char*>(caption.c_str());
    ::SendMessageA(list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&entry));
    slot.shownCaptions[i] = caption;
  }
}

std::string FormWindow::MemoText(Slot& slot) {
  const auto& control = static_cast<const Control&>(*slot.component);
  const std::string& caption = control.Caption();
  // A name without blanks (a hive being read) would be broken anywhere: it
  // is shortened in its middle to one line, as the list shows names.
  if (slot.child == nullptr || caption.find_first_of(" \r\n") != std::string::npos) return WithCrLf(caption);
  RECT area{};
  ::SendMessageA(slot.child, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
  const int room = area.right - area.left;
  if (room <= 0) return caption;
  WindowDc dc(slot.child);
  Selected font(dc.get(), FontFor(control));
  return hv::ui::ShortenInMiddle(caption, room, [&dc](std::string_view text) {
    SIZE size{};
    ::GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  });
}

void FormWindow::SyncTool(Slot& slot) {
  if (!tooltip_) return;
  auto& control = static_cast<Control&>(*slot.component);
  TOOLINFOA info{};
  info.cbSize = TTTOOLINFOA_V2_SIZE;
  info.hwnd = window_;
  if (slot.child != nullptr) {
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.uId = reinterpret_cast<UINT_PTR>(slot.child);
  } else {
    info.uFlags = TTF_SUBCLASS;
    info.uId = slot.index + 1;
    info.rect = ToRect(control.FormBounds());
  }
  if (slot.tool) {
    ::SendMessageA(tooltip_.get(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    slot.tool = false;
  }
  if (!control.ShowHint() || control.Hint().empty() || !control.Showing()) return;
  info.lpszText = const_cast<char*>(control.Hint().c_str());
  slot.tool = ::SendMessageA(tooltip_.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

void FormWindow::SyncTimer(Slot& slot) {
  const auto& timer = static_cast<const hv::ui::Timer&>(*slot.component);
  const int wanted = timer.Enabled() && timer.Interval() > 0 ? timer.Interval() : 0;
  if (wanted == slot.timerInterval) return;
  const UINT_PTR id = slot.index + 1;
  if (wanted == 0) {
    ::KillTimer(window_, id);
  } else {
    ::SetTimer(window_, id, static_cast<UINT>(wanted), nullptr);
  }
  slot.timerInterval = wanted;
}

}  // namespace w32ui
