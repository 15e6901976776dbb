#include "ui/console/form_dump.h"

#include "ui/console/ansi_text.h"

namespace hv::ui::console {

std::string Quote(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  out += '"';
  return out;
}

std::string ComponentText(const Component& component) {
  switch (component.GetKind()) {
    case Kind::ProgressBar: return static_cast<const ProgressBar&>(component).PercentText();
    case Kind::MenuItem: return static_cast<const MenuItem&>(component).Caption();
    case Kind::Timer:
    case Kind::PopupMenu: return "";
    default: return static_cast<const Control&>(component).Caption();
  }
}

namespace {

std::string Flags(const Component& component) {
  bool checked = false;
  bool disabled = false;
  bool hidden = false;
  switch (component.GetKind()) {
    case Kind::PopupMenu: break;
    case Kind::Timer: disabled = !static_cast<const Timer&>(component).Enabled(); break;
    case Kind::MenuItem: {
      const auto& item = static_cast<const MenuItem&>(component);
      checked = item.Checked();
      disabled = !item.Enabled();
      hidden = !item.Visible();
      break;
    }
    default: {
      const auto& control = static_cast<const Control&>(component);
      if (component.GetKind() == Kind::CheckBox) checked = static_cast<const CheckBox&>(control).Checked();
      disabled = !control.Enabled();
      hidden = !control.Visible();
    }
  }
  std::string out;
  if (checked) out += " checked";
  if (disabled) out += " disabled";
  if (hidden) out += " hidden";
  return out;
}

}  // namespace

std::vector<std::string> DumpForm(const Form& form, int codePage) {
  auto text = [codePage](std::string_view ansi) { return Quote(AnsiToUtf8(ansi, codePage)); };
  std::vector<std::string> lines;
  lines.push_back("FORM " + form.Name() + " " + text(form.Caption()));
  for (const auto& component : form.Components()) {
    lines.push_back(component->Name() + " " + text(ComponentText(*component)) + Flags(*component));
    if (component->GetKind() != Kind::ListView) continue;
    const auto& list = static_cast<const ListView&>(*component);
    for (std::size_t i = 0; i < list.Rows().size(); ++i) {
      const ListRow& row = list.Rows()[i];
      // One cell per column; a list without columns shows what its rows hold.
      const std::size_t cells = list.Columns().empty() ? 1 + row.subItems.size() : list.Columns().size();
      std::string line = component->Name() + "[" + std::to_string(i) + "]";
      for (std::size_t c = 0; c < cells; ++c) {
        const std::string empty;
        const std::string& cell = c == 0 ? row.caption : (c - 1 < row.subItems.size() ? row.subItems[c - 1] : empty);
        line += " " + text(cell);
      }
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

}  // namespace hv::ui::console
