// The control store: every setting of a window lives in a named control of its Form. The
// configuration files read and write the controls by name, the engine reads its job from them,
// the language switch rewrites their texts, and the Qt windows bind one widget to each control.
//
// A Form behaves the way a toolkit would: a value change runs the control's change handler
// (custom entries, coupled fields, page layout), a typed character first passes the control's
// key filter, and leaving a control runs its exit handler. Everything works without a display,
// so the behaviour is tested here and the widgets only mirror it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/Language.h"

namespace forms {

// The six kinds the configuration files store, plus kinds that only carry a caption.
enum class ControlKind {
  Edit,       // text
  Combo,      // text (typed or chosen) and an item list
  Radio,      // checked state, exclusive within its group
  Check,      // checked state
  ScrollBar,  // position within [minimum, maximum]
  Panel,      // visible state
  Label,      // caption only; not stored
  Button,     // caption only; not stored
  GroupBox,   // caption only; not stored
};

// Backspace as a key code: the key filters accept it where they accept digits.
inline constexpr char32_t kBackspace = 8;

struct Control {
  std::string name;  // also the key in configuration files
  ControlKind kind = ControlKind::Label;
  std::string caption;             // language-dependent label of buttons, boxes, radio buttons
  std::string text;                // Edit, Combo
  std::vector<std::string> items;  // Combo
  int itemIndex = -1;              // Combo: the chosen item, -1 when the text is typed
  bool editable = true;            // Combo: false when its text changes only by choosing an item
  int dropDownCount = 8;           // Combo: rows shown by the open list
  bool checked = false;            // Radio, Check
  std::string group;               // Radio: buttons of one group exclude each other
  int position = 0;                // ScrollBar
  int minimum = 0;                 // ScrollBar
  int maximum = 100;               // ScrollBar
  bool visible = true;
  bool enabled = true;
  int left = 0, top = 0, width = 0, height = 0;  // geometry in pixels, relative to the parent
  std::optional<std::string> restoreText;       // text put back when the control is left empty
  // Caret and selection in the text, in bytes of its UTF-8 form. Typing replaces the selection.
  size_t selStart = 0;
  size_t selLength = 0;
};

// Controls at their initial values, for the factories of the windows' forms.
Control MakeControl(ControlKind kind, std::string_view name, std::string caption = "");
Control MakeEdit(std::string_view name, std::string text);
// The item equal to the text is selected.
Control MakeCombo(std::string_view name, std::vector<std::string> items, std::string text, bool editable = true);
Control MakeCheck(std::string_view name, bool checked, std::string caption = "");
Control MakeRadio(std::string_view name, std::string group, bool checked, std::string caption = "");
Control MakeScrollBar(std::string_view name, int minimum, int maximum, int position);
Control MakePanel(std::string_view name, bool visible, int height = 0);

// What a Form tells the window that shows it.
struct FormEvents {
  std::function<void(const Control&)> controlChanged;  // any property of the control changed
  std::function<void(const Control&)> focusRequested;  // the control takes the keyboard focus
  // An information box with an OK button (a key filter refused a key).
  std::function<void(const std::string& text)> information;
};

class Form {
public:
  using Handler = std::function<void(Form&, Control&)>;
  // Returns whether the key reaches the text; may change the control (e.g. empty it first).
  using KeyFilter = std::function<bool(Form&, Control&, char32_t key)>;

  // `name` is also the key of the window's caption in the text tables (forms/Texts.h), so it is
  // data and never changes.
  Form(std::string name, std::string caption);

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  Language CurrentLanguage() const { return language_; }
  void SetLanguageCode(Language language) { language_ = language; }

  // ---- Building (done once by the window's factory) ----
  // Appends a control; creation order is the order of the configuration keys.
  Control& Add(Control control);
  void OnChange(std::string_view name, Handler handler);
  void OnExit(std::string_view name, Handler handler);
  void OnDoubleClick(std::string_view name, Handler handler);
  // Runs only when the user clicks (Click below), never when the program sets the value, as a
  // toolkit's "clicked" signal: couplings that overwrite other controls' values belong here so
  // that a configuration load sets every control exactly as stored.
  void OnClick(std::string_view name, Handler handler);
  void SetKeyFilter(std::string_view name, KeyFilter filter);

  // ---- Lookup ----
  const std::vector<Control>& Controls() const { return controls_; }
  const Control* Find(std::string_view name) const;
  // Throws std::out_of_range naming the form and the control when there is none.
  const Control& Get(std::string_view name) const;
  const std::string& Text(std::string_view name) const { return Get(name).text; }
  bool Checked(std::string_view name) const { return Get(name).checked; }
  int Position(std::string_view name) const { return Get(name).position; }
  bool Visible(std::string_view name) const { return Get(name).visible; }

  // ---- Value changes, by the program or by the user; each runs the change handler when the
  // value actually changes ----
  // Edit and combo text. A combo selects the item equal to the text, else none; the caret
  // moves to the end.
  void SetText(std::string_view name, std::string text);
  // Chooses an item of a combo box (its text becomes the item's); -1 deselects and keeps the text.
  void SelectItem(std::string_view name, int index);
  // A radio button checked unchecks the other buttons of its group; unchecking touches only it.
  void SetChecked(std::string_view name, bool checked);
  // Clamped to the scroll bar's range.
  void SetPosition(std::string_view name, int position);
  // Properties without a change handler.
  void SetVisible(std::string_view name, bool visible);
  void SetEnabled(std::string_view name, bool enabled);
  void SetLeft(std::string_view name, int left);
  void SetTop(std::string_view name, int top);
  void SetItems(std::string_view name, std::vector<std::string> items);
  void SetControlCaption(std::string_view name, std::string caption);
  void SetSelection(std::string_view name, size_t start, size_t length);

  // ---- User actions ----
  // One typed character: the key filter decides, then the character replaces the selection
  // (backspace deletes it or the character before the caret). Returns whether it landed.
  bool KeyPress(std::string_view name, char32_t key);
  // Types every character of a UTF-8 text, one key press each; returns how many landed.
  int Type(std::string_view name, std::string_view text);
  // Gives the control the keyboard focus; the control that had it is left first.
  void Focus(std::string_view name);
  // The focused control leaves (its exit handler runs); no control has the focus afterwards.
  void LeaveFocus();
  const std::string& FocusedControl() const { return focused_; }
  void DoubleClick(std::string_view name);
  // A user click: a check box toggles, a radio button becomes checked (a click on a checked one
  // changes nothing); then the click handler runs.
  void Click(std::string_view name);

  FormEvents& Events() { return events_; }
  // Raises the information box through the events (used by key filters).
  void Inform(const std::string& text);

private:
  Control& Mutable(std::string_view name);
  template <typename T>
  void SetProperty(std::string_view name, T Control::*field, T value);
  size_t IndexOf(std::string_view name) const;
  void Changed(Control& control);
  // Sets text, item and caret; the change handler runs when the text changed.
  void StoreText(size_t index, std::string text, int item, size_t caret);
  void RunHandler(std::vector<Handler>& handlers, size_t index);

  std::string name_;
  std::string caption_;
  Language language_ = Language::German;
  std::vector<Control> controls_;
  std::vector<Handler> onChange_;  // parallel to controls_
  std::vector<Handler> onExit_;
  std::vector<Handler> onDoubleClick_;
  std::vector<Handler> onClick_;
  std::vector<KeyFilter> keyFilters_;
  std::string focused_;
  FormEvents events_;
};

// Puts back the values a copy of the form's controls holds (Controls() taken earlier): texts,
// checked states and positions, each through its setter, so that the couplings and the widgets
// follow. A dialog's Cancel.
void RestoreValues(Form& form, const std::vector<Control>& saved);

// Applies a text conversion to a combo box's whole item list at once (the items joined by line
// breaks), so that a "first occurrence" rule means the first in the list.
void ConvertItemList(Form& form, std::string_view name, const std::function<std::string(const std::string&)>& convert);

}  // namespace forms
