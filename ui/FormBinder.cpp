#include "ui/FormBinder.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include "ui/Mnemonics.h"

namespace ui {

namespace {

// Caret positions: the Form counts bytes of UTF-8, the widget UTF-16 units.
int ToWidget(const std::string& text, size_t bytes) {
  return static_cast<int>(QString::fromStdString(text.substr(0, std::min(bytes, text.size()))).size());
}
size_t ToForm(const QString& text, int units) { return static_cast<size_t>(text.left(units).toUtf8().size()); }

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Shows a caption; a text that reads the same is left as it is, so that its access key stays.
// A changed caption gets its key once the window's texts have settled.
template <typename Widget>
void ShowCaption(Widget* widget, const std::string& caption, QWidget* window) {
  const QString text = Q(caption);
  if (widget->text() == text || WithoutMnemonic(widget->text()) == WithoutMnemonic(text)) return;
  widget->setText(text);
  ScheduleMnemonics(window);
}

}  // namespace

FormBinder::FormBinder(forms::Form& form, QWidget* window) : QObject(window), form_(form), window_(window) {
  forms::FormEvents& events = form_.Events();
  events.controlChanged = [this](const forms::Control& c) { Sync(c); };
  events.focusRequested = [this](const forms::Control& c) {
    if (QWidget* w = Widget(c.name); w && w->isVisible()) w->setFocus(Qt::OtherFocusReason);
  };
  events.information = [this](const std::string& text) {
    QMessageBox::information(window_->isVisible() ? window_ : window_->window(), window_->windowTitle(), Q(text));
  };
}

QWidget* FormBinder::Widget(std::string_view name) const {
  const auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

void FormBinder::Bind(std::string_view controlName, QWidget* widget) {
  const forms::Control& control = form_.Get(controlName);
  const std::string name(controlName);
  widgets_[name] = widget;
  names_[widget] = name;
  QLineEdit* edit = qobject_cast<QLineEdit*>(widget);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    combo->setEditable(control.editable);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(control.dropDownCount);
    edit = combo->lineEdit();
    connect(combo, &QComboBox::activated, this, [this, name](int index) {
      if (syncing_ == 0) form_.SelectItem(name, index);
    });
  } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
    connect(check, &QCheckBox::clicked, this, [this, name] {
      form_.Click(name);
      Sync(form_.Get(name));
    });
  } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
    // The Form keeps the group exclusive; the widget only shows it.
    radio->setAutoExclusive(false);
    connect(radio, &QRadioButton::clicked, this, [this, name] {
      form_.Click(name);
      Sync(form_.Get(name));
    });
  } else if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
    connect(slider, &QAbstractSlider::valueChanged, this, [this, name](int value) {
      if (syncing_ == 0) form_.SetPosition(name, value);
    });
  }
  if (edit != nullptr) {
    names_[edit] = name;
    edit->installEventFilter(this);
    // Pasting, cutting and the Delete key change the text without a typed character.
    connect(edit, &QLineEdit::textEdited, this, [this, name, edit](const QString& text) {
      if (syncing_ != 0) return;
      form_.SetText(name, text.toStdString());
      SyncText(edit, form_.Get(name));
    });
  }
  widget->installEventFilter(this);
  Sync(control);
}

void FormBinder::SyncAll() {
  for (const auto& [name, widget] : widgets_) Sync(form_.Get(name));
}

void FormBinder::SyncText(QLineEdit* edit, const forms::Control& c) {
  ++syncing_;
  if (edit->text() != Q(c.text)) edit->setText(Q(c.text));
  const int start = ToWidget(c.text, c.selStart);
  const int end = ToWidget(c.text, c.selStart + c.selLength);
  if (end > start) edit->setSelection(start, end - start);
  else edit->setCursorPosition(start);
  --syncing_;
}

void FormBinder::FromWidgetSelection(QLineEdit* edit, const std::string& name) {
  const QString text = edit->text();
  if (edit->hasSelectedText()) {
    const int start = edit->selectionStart();
    const size_t from = ToForm(text, start);
    form_.SetSelection(name, from, ToForm(text, start + static_cast<int>(edit->selectedText().size())) - from);
  } else {
    form_.SetSelection(name, ToForm(text, edit->cursorPosition()), 0);
  }
}

void FormBinder::Sync(const forms::Control& c) {
  QWidget* w = Widget(c.name);
  if (w == nullptr) return;
  ++syncing_;
  w->setEnabled(c.enabled);
  if (w->isHidden() == c.visible) w->setVisible(c.visible);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    SyncText(edit, c);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    QStringList items;
    for (const std::string& item : c.items) items << Q(item);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    if (shown != items) {
      combo->clear();
      combo->addItems(items);
    }
    combo->setCurrentIndex(c.itemIndex);
    if (combo->lineEdit() != nullptr) SyncText(combo->lineEdit(), c);
  } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
    if (!c.caption.empty()) ShowCaption(check, c.caption, window_);
    check->setChecked(c.checked);
  } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
    if (!c.caption.empty()) ShowCaption(radio, c.caption, window_);
    radio->setChecked(c.checked);
  } else if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
    slider->setRange(c.minimum, c.maximum);
    slider->setValue(c.position);
  } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
    box->setTitle(Q(c.caption));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    // Only a label that names another widget shows an access key.
    if (label->buddy() != nullptr) ShowCaption(label, c.caption, window_);
    else label->setText(Q(c.caption));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    ShowCaption(button, c.caption, window_);
  }
  --syncing_;
}

bool FormBinder::eventFilter(QObject* watched, QEvent* event) {
  const auto it = names_.find(watched);
  if (it == names_.end()) return false;
  const std::string name = it->second;
  auto* edit = qobject_cast<QLineEdit*>(watched);
  switch (event->type()) {
    case QEvent::KeyPress: {
      if (edit == nullptr) return false;
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
      char32_t ch = 0;
      if (key->key() == Qt::Key_Backspace) {
        ch = forms::kBackspace;
      } else {
        const QList<uint> units = key->text().toUcs4();
        if (units.size() != 1 || units[0] < 32 || units[0] == 127) return false;
        ch = units[0];
      }
      FromWidgetSelection(edit, name);
      form_.KeyPress(name, ch);
      SyncText(edit, form_.Get(name));
      return true;
    }
    case QEvent::FocusIn:
      form_.Focus(name);
      return false;
    case QEvent::FocusOut: {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && form_.FocusedControl() == name)
        form_.LeaveFocus();
      return false;
    }
    case QEvent::MouseButtonDblClick:
      if (edit == nullptr) return false;
      form_.DoubleClick(name);
      SyncText(edit, form_.Get(name));
      return true;
    default: return false;
  }
}

}  // namespace ui
