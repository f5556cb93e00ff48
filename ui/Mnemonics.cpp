#include "ui/Mnemonics.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <functional>
#include <vector>

namespace ui {

namespace {

// A text that takes an access key, whatever shows it.
struct Keyed {
  QString text;  // as it reads
  QChar wanted;  // the letter the text marked, if any
  std::function<void(const QString&)> set;
  // Lower ranks choose first: where there are more texts than letters (the folder filter's
  // forty check boxes), the commands keep their keys and some check boxes go without.
  int rank = 0;
};

// The position in `text` of the access key `key` that is best shown: the first letter of a
// word, else any letter; -1 when the text does not hold it.
int PositionOf(const QString& text, QChar key) {
  int any = -1;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i].toLower() != key) continue;
    if (i == 0 || !text[i - 1].isLetterOrNumber()) return i;
    if (any < 0) any = i;
  }
  return any;
}

// The letters a text could take, best first: the first letters of its words, then every other
// letter or digit.
QList<QChar> Candidates(const QString& text) {
  QList<QChar> first, rest;
  for (int i = 0; i < text.size(); ++i) {
    if (!text[i].isLetterOrNumber()) continue;
    const QChar c = text[i].toLower();
    if (i == 0 || !text[i - 1].isLetterOrNumber()) {
      if (!first.contains(c)) first << c;
    } else if (!rest.contains(c)) {
      rest << c;
    }
  }
  for (const QChar c : rest)
    if (!first.contains(c)) first << c;
  return first;
}

QString WithKey(const QString& plain, QChar key) {
  QString escaped = plain;
  escaped.replace("&", "&&");
  if (key.isNull()) return escaped;
  const int at = PositionOf(plain, key);
  if (at < 0) return escaped;
  // Count the escapes before the position.
  const int shift = static_cast<int>(plain.left(at).count('&'));
  return escaped.insert(at + shift, '&');
}

// Gives each text of one scope a key no other text of the scope (nor `taken`) has; returns the
// keys taken then. Rank by rank: the letters the texts mark themselves, first come first served,
// then the best free letter of each other text; so a lower rank never keeps a letter a command
// needs, whatever it was given before.
QSet<QChar> Assign(std::vector<Keyed>& texts, QSet<QChar> taken) {
  std::stable_sort(texts.begin(), texts.end(), [](const Keyed& a, const Keyed& b) { return a.rank < b.rank; });
  std::vector<QChar> chosen(texts.size());
  for (size_t first = 0; first < texts.size();) {
    size_t end = first;
    while (end < texts.size() && texts[end].rank == texts[first].rank) ++end;
    for (size_t i = first; i < end; ++i) {
      const QChar want = texts[i].wanted;
      if (!want.isNull() && !taken.contains(want) && PositionOf(texts[i].text, want) >= 0) {
        chosen[i] = want;
        taken << want;
      }
    }
    for (size_t i = first; i < end; ++i) {
      if (!chosen[i].isNull()) continue;
      for (const QChar c : Candidates(texts[i].text)) {
        if (taken.contains(c)) continue;
        chosen[i] = c;
        taken << c;
        break;
      }
    }
    first = end;
  }
  for (size_t i = 0; i < texts.size(); ++i) texts[i].set(WithKey(texts[i].text, chosen[i]));
  return taken;
}

Keyed KeyedText(const QString& shown, std::function<void(const QString&)> set) {
  return {WithoutMnemonic(shown), MnemonicOf(shown), std::move(set)};
}

// The texts of a widget that take keys: buttons and labels that name another widget.
bool TakesKey(QWidget* w) {
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return !button->text().isEmpty() && button->parent() != nullptr &&
                                                                !qobject_cast<QTabBar*>(button->parentWidget());
  if (auto* label = qobject_cast<QLabel*>(w)) return label->buddy() != nullptr && !label->text().isEmpty();
  return false;
}

Keyed KeyedWidget(QWidget* w) {
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    Keyed keyed = KeyedText(button->text(), [button](const QString& t) {
      if (button->text() != t) button->setText(t);
    });
    // Commands first, then choices, then check boxes.
    keyed.rank = qobject_cast<QCheckBox*>(button) ? 2 : qobject_cast<QRadioButton*>(button) ? 1 : 0;
    return keyed;
  }
  auto* label = qobject_cast<QLabel*>(w);
  Keyed keyed = KeyedText(label->text(), [label](const QString& t) {
    if (label->text() != t) label->setText(t);
  });
  keyed.rank = 1;
  return keyed;
}

Keyed KeyedAction(QAction* action) {
  return KeyedText(action->text(), [action](const QString& t) {
    if (action->text() != t) action->setText(t);
  });
}

// The widgets of `root` that belong to it and not to another window, in creation order, leaving
// out those below any of `skip`.
void Collect(QWidget* root, const QList<QWidget*>& skip, std::vector<QWidget*>& out) {
  for (QObject* child : root->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w == nullptr || w->isWindow() || skip.contains(w)) continue;
    if (TakesKey(w)) out.push_back(w);
    Collect(w, skip, out);
  }
}

std::vector<Keyed> ActionTexts(const QList<QAction*>& actions) {
  std::vector<Keyed> texts;
  for (QAction* action : actions)
    if (!action->isSeparator() && !action->text().isEmpty()) texts.push_back(KeyedAction(action));
  return texts;
}

// The titled group boxes that are scopes of their own (see ScopeMnemonicsByGroup).
QList<QWidget*> GroupScopes(QWidget* window) {
  QList<QWidget*> groups;
  if (!window->property("mnemonicGroups").toBool()) return groups;
  for (QGroupBox* box : window->findChildren<QGroupBox*>())
    if (box->window() == window && !box->title().isEmpty()) groups << box;
  return groups;
}

// Shows the keys of the buttons in the group that holds the focus, and hides the others'.
void ShowFocusedGroupKeys(QWidget* window) {
  const QWidget* focus = QApplication::focusWidget();
  for (QWidget* group : GroupScopes(window)) {
    const bool inside = focus != nullptr && group->isAncestorOf(focus);
    for (QAbstractButton* button : group->findChildren<QAbstractButton*>()) {
      const QString keyed = button->property("mnemonicText").toString();
      if (keyed.isEmpty() || WithoutMnemonic(keyed) != WithoutMnemonic(button->text())) continue;
      const QString shown = inside ? keyed : WithKey(WithoutMnemonic(keyed), QChar());
      if (button->text() != shown) button->setText(shown);
    }
  }
}

}  // namespace

QString WithoutMnemonic(const QString& text) {
  QString plain;
  plain.reserve(text.size());
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;  // "&x" reads "x", "&&" reads "&"
    plain += text[i];
  }
  return plain;
}

QChar MnemonicOf(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return text[i + 1].toLower();
    ++i;
  }
  return {};
}

void AssignMnemonics(QWidget* window) {
  if (window == nullptr) return;
  // The menu bar's titles and the widgets outside tab pages come first; each page then takes
  // what they left.
  std::vector<Keyed> shared;
  if (auto* main = qobject_cast<QMainWindow*>(window))
    if (auto* bar = qobject_cast<QMenuBar*>(main->menuWidget())) shared = ActionTexts(bar->actions());
  QList<QWidget*> pages;
  for (QTabWidget* tabs : window->findChildren<QTabWidget*>())
    if (tabs->window() == window)
      for (int i = 0; i < tabs->count(); ++i) pages << tabs->widget(i);
  const QList<QWidget*> groups = GroupScopes(window);
  std::vector<QWidget*> outside;
  Collect(window, pages + groups, outside);
  for (QWidget* w : outside) shared.push_back(KeyedWidget(w));
  for (QWidget* group : groups) {
    auto* box = static_cast<QGroupBox*>(group);
    shared.push_back(KeyedText(box->title(), [box](const QString& t) {
      if (box->title() != t) box->setTitle(t);
    }));
  }
  const QSet<QChar> taken = Assign(shared, {});
  for (QWidget* group : groups) {
    std::vector<QWidget*> inside;
    Collect(group, {}, inside);
    std::vector<Keyed> texts;
    for (QWidget* w : inside) {
      // Kept aside, and shown while the focus is in the group.
      Keyed keyed = KeyedWidget(w);
      keyed.set = [w](const QString& t) { w->setProperty("mnemonicText", t); };
      texts.push_back(std::move(keyed));
    }
    Assign(texts, taken);
  }
  if (!groups.isEmpty()) ShowFocusedGroupKeys(window);
  for (QWidget* page : pages) {
    std::vector<QWidget*> inside;
    Collect(page, {}, inside);
    std::vector<Keyed> texts;
    for (QWidget* w : inside) texts.push_back(KeyedWidget(w));
    Assign(texts, taken);
  }
  // Every menu, of the menu bar or popping up over a widget, is a scope of its own.
  for (QMenu* menu : window->findChildren<QMenu*>()) {
    std::vector<Keyed> items = ActionTexts(menu->actions());
    Assign(items, {});
  }
}

void ScopeMnemonicsByGroup(QWidget* window) {
  if (window->property("mnemonicGroups").toBool()) return;
  window->setProperty("mnemonicGroups", true);
  QObject::connect(qApp, &QApplication::focusChanged, window, [window](QWidget* before, QWidget* now) {
    if ((before != nullptr && before->window() == window) || (now != nullptr && now->window() == window))
      ShowFocusedGroupKeys(window);
  });
  AssignMnemonics(window);
}

void ScheduleMnemonics(QWidget* window) {
  if (window == nullptr || window->property("mnemonicsPending").toBool()) return;
  window->setProperty("mnemonicsPending", true);
  QTimer::singleShot(0, window, [window] {
    window->setProperty("mnemonicsPending", false);
    AssignMnemonics(window);
  });
}

}  // namespace ui
