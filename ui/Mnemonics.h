// Access keys (the underlined letter, Alt+letter) for every window, in every language: each
// button, check box, radio button, label with a buddy, menu and menu item gets one, and no two
// in reach of the same keys share one. The letters are chosen from the texts as they are shown,
// so a language added to the list gets its access keys without any work; a letter a text marks
// itself ("&File") is kept where it is free.
//
// Scopes: a menu's items (its keys work while it is open); and a window's own widgets with its
// menu bar, where every page of a tab widget is a scope of its own beside the widgets outside
// the pages (the keys of a page work only while it is shown).
#pragma once

#include <QString>

class QWidget;

namespace ui {

// Gives the window's widgets and menus their access keys, anew; call it after the texts changed.
void AssignMnemonics(QWidget* window);
// For a window whose group boxes repeat the same buttons (the desktop-integration dialog's
// "Register" and "Remove" in every group), where no choice of letters gives each button a key
// of its own: there each titled group box is a scope, its title takes a key of the window
// (Alt+key moves the focus into it), and its buttons' keys work while the focus is inside it.
void ScopeMnemonicsByGroup(QWidget* window);
// The same, once the events now pending have run: for texts that change one by one.
void ScheduleMnemonics(QWidget* window);

// The text as it reads: without the access-key mark ("Remove &Selected" reads "Remove
// Selected"), with "&&" as "&".
QString WithoutMnemonic(const QString& text);
// The access key of a text, lower case, or a null character when it has none.
QChar MnemonicOf(const QString& text);

}  // namespace ui
