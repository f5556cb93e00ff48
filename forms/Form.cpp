#include "forms/Form.h"

#include <algorithm>
#include <stdexcept>

#include "base/Text.h"

namespace forms {

namespace {

// The item a combo box's text selects: the first equal item, or none.
int ItemOf(const Control& c, const std::string& text) {
  if (c.kind != ControlKind::Combo) return -1;
  auto it = std::find(c.items.begin(), c.items.end(), text);
  return it == c.items.end() ? -1 : static_cast<int>(it - c.items.begin());
}

}  // namespace

Control MakeControl(ControlKind kind, std::string_view name, std::string caption) {
  Control c;
  c.kind = kind;
  c.name = std::string(name);
  c.caption = std::move(caption);
  return c;
}

Control MakeEdit(std::string_view name, std::string text) {
  Control c = MakeControl(ControlKind::Edit, name);
  c.text = std::move(text);
  c.selStart = c.text.size();
  return c;
}

Control MakeCombo(std::string_view name, std::vector<std::string> items, std::string text, bool editable) {
  Control c = MakeControl(ControlKind::Combo, name);
  c.items = std::move(items);
  c.text = std::move(text);
  c.editable = editable;
  c.itemIndex = ItemOf(c, c.text);
  c.selStart = c.text.size();
  return c;
}

Control MakeCheck(std::string_view name, bool checked, std::string caption) {
  Control c = MakeControl(ControlKind::Check, name, std::move(caption));
  c.checked = checked;
  return c;
}

Control MakeRadio(std::string_view name, std::string group, bool checked, std::string caption) {
  Control c = MakeControl(ControlKind::Radio, name, std::move(caption));
  c.group = std::move(group);
  c.checked = checked;
  return c;
}

Control MakeScrollBar(std::string_view name, int minimum, int maximum, int position) {
  Control c = MakeControl(ControlKind::ScrollBar, name);
  c.minimum = minimum;
  c.maximum = maximum;
  c.position = position;
  return c;
}

Control MakePanel(std::string_view name, bool visible, int height) {
  Control c = MakeControl(ControlKind::Panel, name);
  c.visible = visible;
  c.height = height;
  return c;
}

Form::Form(std::string name, std::string caption) : name_(std::move(name)), caption_(std::move(caption)) {}

Control& Form::Add(Control control) {
  if (Find(control.name) != nullptr) throw std::logic_error("form " + name_ + " already has a control named " + control.name);
  controls_.push_back(std::move(control));
  onChange_.emplace_back();
  onExit_.emplace_back();
  onDoubleClick_.emplace_back();
  onClick_.emplace_back();
  keyFilters_.emplace_back();
  return controls_.back();
}

namespace {

// A second handler for the same event runs after the first.
template <typename F>
void Chain(F& slot, F next) {
  if (!slot) {
    slot = std::move(next);
    return;
  }
  slot = [first = std::move(slot), second = std::move(next)](Form& form, Control& control) {
    first(form, control);
    second(form, control);
  };
}

}  // namespace

void Form::OnChange(std::string_view name, Handler handler) { Chain(onChange_[IndexOf(name)], std::move(handler)); }
void Form::OnExit(std::string_view name, Handler handler) { Chain(onExit_[IndexOf(name)], std::move(handler)); }
void Form::OnDoubleClick(std::string_view name, Handler handler) {
  Chain(onDoubleClick_[IndexOf(name)], std::move(handler));
}
void Form::OnClick(std::string_view name, Handler handler) { Chain(onClick_[IndexOf(name)], std::move(handler)); }
void Form::SetKeyFilter(std::string_view name, KeyFilter filter) { keyFilters_[IndexOf(name)] = std::move(filter); }

const Control* Form::Find(std::string_view name) const {
  for (const Control& c : controls_)
    if (c.name == name) return &c;
  return nullptr;
}

size_t Form::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < controls_.size(); ++i)
    if (controls_[i].name == name) return i;
  throw std::out_of_range("form " + name_ + " has no control named " + std::string(name));
}

const Control& Form::Get(std::string_view name) const { return controls_[IndexOf(name)]; }
Control& Form::Mutable(std::string_view name) { return controls_[IndexOf(name)]; }

void Form::Changed(Control& control) {
  if (events_.controlChanged) events_.controlChanged(control);
}

void Form::RunHandler(std::vector<Handler>& handlers, size_t index) {
  if (handlers[index]) handlers[index](*this, controls_[index]);
}

void Form::StoreText(size_t index, std::string text, int item, size_t caret) {
  Control& c = controls_[index];
  const bool textChanged = c.text != text;
  if (!textChanged && c.itemIndex == item && c.selStart == caret && c.selLength == 0) return;
  c.text = std::move(text);
  c.itemIndex = item;
  c.selStart = std::min(caret, c.text.size());
  c.selLength = 0;
  Changed(c);
  if (textChanged) RunHandler(onChange_, index);
}

void Form::SetText(std::string_view name, std::string text) {
  const size_t index = IndexOf(name);
  const int item = ItemOf(controls_[index], text);
  if (controls_[index].text == text && controls_[index].itemIndex == item) return;
  const size_t caret = text.size();
  StoreText(index, std::move(text), item, caret);
}

void Form::SelectItem(std::string_view name, int index) {
  const size_t at = IndexOf(name);
  Control& c = controls_[at];
  if (index < 0 || static_cast<size_t>(index) >= c.items.size()) {
    if (c.itemIndex == -1) return;
    c.itemIndex = -1;
    Changed(c);
    return;
  }
  std::string text = c.items[static_cast<size_t>(index)];
  const size_t caret = text.size();
  StoreText(at, std::move(text), index, caret);
}

void Form::SetChecked(std::string_view name, bool checked) {
  const size_t index = IndexOf(name);
  Control& c = controls_[index];
  if (c.checked == checked) return;
  c.checked = checked;
  Changed(c);
  if (checked && c.kind == ControlKind::Radio && !c.group.empty()) {
    for (size_t i = 0; i < controls_.size(); ++i) {
      Control& other = controls_[i];
      if (i == index || other.kind != ControlKind::Radio || other.group != c.group || !other.checked) continue;
      other.checked = false;
      Changed(other);
      RunHandler(onChange_, i);
    }
  }
  RunHandler(onChange_, index);
}

void Form::SetPosition(std::string_view name, int position) {
  const size_t index = IndexOf(name);
  Control& c = controls_[index];
  position = std::clamp(position, c.minimum, c.maximum);
  if (c.position == position) return;
  c.position = position;
  Changed(c);
  RunHandler(onChange_, index);
}

template <typename T>
void Form::SetProperty(std::string_view name, T Control::*field, T value) {
  Control& c = Mutable(name);
  if (c.*field == value) return;
  c.*field = std::move(value);
  Changed(c);
}

void Form::SetVisible(std::string_view name, bool visible) { SetProperty(name, &Control::visible, visible); }
void Form::SetEnabled(std::string_view name, bool enabled) { SetProperty(name, &Control::enabled, enabled); }
void Form::SetLeft(std::string_view name, int left) { SetProperty(name, &Control::left, left); }
void Form::SetTop(std::string_view name, int top) { SetProperty(name, &Control::top, top); }

void Form::SetItems(std::string_view name, std::vector<std::string> items) {
  Control& c = Mutable(name);
  if (c.items == items) return;
  c.items = std::move(items);
  c.itemIndex = ItemOf(c, c.text);
  Changed(c);
}

void Form::SetControlCaption(std::string_view name, std::string caption) {
  SetProperty(name, &Control::caption, std::move(caption));
}

void Form::SetSelection(std::string_view name, size_t start, size_t length) {
  Control& c = Mutable(name);
  start = std::min(start, c.text.size());
  length = std::min(length, c.text.size() - start);
  c.selStart = start;
  c.selLength = length;
  Changed(c);
}

bool Form::KeyPress(std::string_view name, char32_t key) {
  const size_t index = IndexOf(name);
  if (keyFilters_[index] && !keyFilters_[index](*this, controls_[index], key)) return false;
  Control& c = controls_[index];
  std::string text = c.text;
  size_t start = std::min(c.selStart, text.size());
  size_t length = std::min(c.selLength, text.size() - start);
  if (key == kBackspace) {
    if (length == 0 && start > 0) {
      size_t previous = start - 1;
      while (previous > 0 && (static_cast<unsigned char>(text[previous]) & 0xC0) == 0x80) --previous;
      length = start - previous;
      start = previous;
    }
    text.erase(start, length);
  } else {
    const std::string typed = base::EncodeUtf8(key);
    text.replace(start, length, typed);
    start += typed.size();
  }
  if (key == kBackspace && length == 0) return true;
  const int item = ItemOf(c, text);
  StoreText(index, std::move(text), item, start);
  return true;
}

int Form::Type(std::string_view name, std::string_view text) {
  int landed = 0;
  for (char32_t key : base::DecodeUtf8(text))
    if (KeyPress(name, key)) ++landed;
  return landed;
}

void Form::Focus(std::string_view name) {
  const size_t index = IndexOf(name);
  if (focused_ == name) return;
  LeaveFocus();
  focused_ = controls_[index].name;
  if (events_.focusRequested) events_.focusRequested(controls_[index]);
}

void Form::LeaveFocus() {
  if (focused_.empty()) return;
  const size_t index = IndexOf(focused_);
  focused_.clear();
  RunHandler(onExit_, index);
}

void Form::DoubleClick(std::string_view name) { RunHandler(onDoubleClick_, IndexOf(name)); }

void Form::Click(std::string_view name) {
  const size_t index = IndexOf(name);
  const Control& c = controls_[index];
  if (c.kind == ControlKind::Check) SetChecked(name, !c.checked);
  else if (c.kind == ControlKind::Radio) SetChecked(name, true);
  RunHandler(onClick_, index);
}

void Form::Inform(const std::string& text) {
  if (events_.information) events_.information(text);
}

void ConvertItemList(Form& form, std::string_view name, const std::function<std::string(const std::string&)>& convert) {
  std::string joined;
  const auto& items = form.Get(name).items;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += items[i];
  }
  form.SetItems(name, base::SplitAt(convert(joined), '\n'));
}

void RestoreValues(Form& form, const std::vector<Control>& saved) {
  for (const Control& c : saved) {
    switch (c.kind) {
      case ControlKind::Edit:
      case ControlKind::Combo: form.SetText(c.name, c.text); break;
      case ControlKind::Check: form.SetChecked(c.name, c.checked); break;
      // Checking the one that was checked unchecks the rest of its group.
      case ControlKind::Radio:
        if (c.checked) form.SetChecked(c.name, true);
        break;
      case ControlKind::ScrollBar: form.SetPosition(c.name, c.position); break;
      default: break;
    }
  }
}

}  // namespace forms
