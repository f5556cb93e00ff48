#include "forms/EinstShortcutsForm.h"

namespace forms {

namespace {

Control ShortcutsControl(ControlKind kind, const char* name, const char* caption = "") {
  Control c;
  c.kind = kind;
  c.name = name;
  c.caption = caption;
  return c;
}

// The groups with their captions and descriptions (German, English); each description is the
// caption of a label named after the group.
struct Group {
  const char* box;
  const char* german;
  const char* english;
  const char* descriptionLabel;
  const char* germanDescription;
  const char* englishDescription;
};
constexpr Group kGroups[] = {
    {"gb1", "Verknüpfung mit Konfigurationsdateien (*.vxc)", "Shortcut to Configuration Files (*.vxc)", "Label1",
     "Verknüpfung dieses Programms mit Konfigurationsdateien (Dateiendung: .vxc)",
     "Shortcut of this Application with Configuration Files (File Extension: .vxc)"},
    {"gb2", "Senden an", "Send to", "Label2", "Anzeige dieses Programms unter \"Öffnen mit\" und in den Skripten des Dateimanagers",
     "Show this Application in \"Open With\" and in the File Manager's Scripts"},
    {"gb3", "Verknüpfung mit Ordnern", "Shortcut with Folders", "Label3",
     "Anzeige dieses Programms im Kontextmenü des Dateimanagers für Ordner",
     "Show this Application in the File Manager's Context Menu of Folders"},
    {"gb4", "Verknüpfung mit Dateien", "Shortcut with Files", "Label4",
     "Anzeige dieses Programms im Kontextmenü des Dateimanagers für alle Dateien",
     "Show this Application in the File Manager's Context Menu of all Files"},
};

constexpr const char* kRegisterButtons[] = {"KonfigAn", "SendenAnAn", "OrdnerAn", "AlleDateienAn", "BeliebigeDateienAn"};
constexpr const char* kRemoveButtons[] = {"KonfigAus", "SendenAnAus", "OrdnerAus", "AlleDateienAus",
                                          "BeliebigeDateienAus"};

}  // namespace

Form CreateEinstShortcutsForm() {
  Form form("Teinstshortcuts", "Verknüpfungen");
  Control extensions = ShortcutsControl(ControlKind::Edit, "beldateien");
  extensions.text = "jpg,bmp,png";
  extensions.selStart = extensions.text.size();
  form.Add(extensions);

  form.Add(ShortcutsControl(ControlKind::Label, "Label6"));
  form.Add(ShortcutsControl(ControlKind::Label, "Label9"));
  form.Add(ShortcutsControl(ControlKind::Label, "Label12"));
  form.Add(ShortcutsControl(ControlKind::Label, "Label70"));
  form.Add(ShortcutsControl(ControlKind::Button, "AlsAdminStarten"));
  for (const Group& group : kGroups) {
    form.Add(ShortcutsControl(ControlKind::GroupBox, group.box));
    form.Add(ShortcutsControl(ControlKind::Label, group.descriptionLabel));
  }
  form.Add(ShortcutsControl(ControlKind::Label, "Label5"));
  for (const char* status : {"ver_konfig", "ver_sendenan", "ver_ordner", "ver_alledateien"})
    form.Add(ShortcutsControl(ControlKind::Label, status));
  for (const char* button : kRegisterButtons) form.Add(ShortcutsControl(ControlKind::Button, button));
  for (const char* button : kRemoveButtons) form.Add(ShortcutsControl(ControlKind::Button, button));
  form.Add(ShortcutsControl(ControlKind::Button, "OK", "OK"));
  ApplyEinstShortcutsLanguage(form, Language::German);
  return form;
}

void ApplyEinstShortcutsLanguage(Form& form, Language language) {
  const bool en = language == Language::English;
  form.SetLanguageCode(language);
  form.SetCaption(en ? "Shortcuts" : "Verknüpfungen");
  form.SetControlCaption("Label6", en ? "The Program must be executed as an Administrator to apply this functions."
                                      : "Das Programm muss für diese Änderungen als Administrator ausgeführt werden.");
  form.SetControlCaption("Label12", en ? "Help and more Information regarding Shortcuts and Administrator Rights on:"
                                       : "Hilfe und weitere Informationen zu Verknüpfungen und Administratorrechten auf:");
  form.SetControlCaption("AlsAdminStarten", en ? "Restart Program as Admin" : "Programm als Admin neu starten");
  for (const Group& group : kGroups) {
    form.SetControlCaption(group.box, en ? group.english : group.german);
    form.SetControlCaption(group.descriptionLabel, en ? group.englishDescription : group.germanDescription);
  }
  form.SetControlCaption("Label5", en ? "Show this Application in the File Manager's Context Menu of these Files:"
                                      : "Anzeige dieses Programms im Kontextmenü des Dateimanagers für diese Dateien:");
  for (const char* button : kRegisterButtons) form.SetControlCaption(button, en ? "Register" : "Verknüpfen");
  for (const char* button : kRemoveButtons) form.SetControlCaption(button, en ? "Remove" : "Entfernen");
}

}  // namespace forms
