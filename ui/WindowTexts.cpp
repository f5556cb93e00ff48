// The texts of the windows, one table per window and language: a control's name (or a role
// such as "col0" for a list heading) and its text. Another language is one more table per window.
#include "ui/WindowTexts.h"

namespace ui {

namespace {

const TextEntry kMainEnglish[] = {
    {"ts_bilder", "1. Select Images"},
    {"ts_skalieren", "2. Choose Size"},
    {"ts_speichern", "3. Save"},
    {"gb_input", "Drag and Drop the Images into the List or open a Folder"},
    {"gb_opt", "How shall the Images be resized?"},
    {"gb_output", "How shall the Images be saved?"},
    {"OpenOrdner", "Open &Folder.."},
    {"BitBtn1", "F&ilter.."},
    {"BitBtn3", "Remove &Selected"},
    {"BitBtn2", "Remove &All"},
    {"Button1", "More Options.."},
    {"Button2", "More Options.."},
    {"Button3", "More Options.."},
    {"outordnerbt", "Choose Folder.."},
    {"la_customwidth", "Width:"},
    {"la_customheight", "Height:"},
    {"la_faktor", "Factor (2 doubles the sides; 1/2 or 2:1 halves them):"},
    {"la_filesize", "Target file size in KB:"},
    {"la_ordner", "Folder:"},
    {"la_name", "Filename:"},
    {"la_format", "Format:"},
    {"m_datei", "&File"},
    {"m_datei_open", "&Open Images.."},
    {"m_datei_ordner", "Open &Folder with Images.."},
    {"m_datei_delmark", "Delete &selected Images from List"},
    {"m_datei_delall", "Delete &all Images from List"},
    {"m_datei_konvert", "&Convert and Save"},
    {"m_datei_dateiumb", "Only &rename Files.."},
    {"m_datei_beenden", "&Close"},
    {"m_einst", "&Settings"},
    {"m_einst_ausgabe", "&Options.."},
    {"m_einst_filter", "&Filter for Search in Folder.."},
    {"m_einstshortcuts", "&Shortcuts with Files and Folders.."},
    {"m_konfig", "&Configuration"},
    {"m_info", "&Help and Information"},
    {"m_info_help", "&Help"},
    {"m_info_about", "&About Vexilo"},
    {"pop1", "Open corresponding Folder"},
    {"pop2", "Show File Information"},
    {"pop3", "Copy selected Images to Clipboard"},
    {"pop4", "Delete selected Images from List"},
    {"m_einst_sprache", "&Language"},
    {"m_einst_sprache_english", "English"},
    {"m_einst_sprache_deutsch", "Deutsch"},
    {"col0", "Name"},
    {"col1", "Type"},
    {"col2", "Width"},
    {"col3", "Height"},
    {"col4", "Filesize"},
    {"col5", "Filepath"},
    {"tip0", "Tip: the three steps of a conversion"},
    {"tip1", "Tip: what the size modes do"},
    {"tip2", "Tip: placeholders in file names"},
    {"tip3", "Tip: keep your settings in configuration files"},
    {"open_title", "Open.."},
    {"config_file", "Configuration.vxc"},
    {"config_filter", "Vexilo Configuration (*.vxc)"},
};

const TextEntry kMainGerman[] = {
    {"ts_bilder", "1. Bilder auswählen"},
    {"ts_skalieren", "2. Größe wählen"},
    {"ts_speichern", "3. Speichern"},
    {"gb_input", "Ziehen Sie die Bilder in die Liste oder öffnen Sie einen Ordner"},
    {"gb_opt", "Wie sollen die Bilder skaliert werden?"},
    {"gb_output", "Wie sollen die Bilder gespeichert werden?"},
    {"OpenOrdner", "Ordner &Öffnen.."},
    {"BitBtn1", "F&ilter.."},
    {"BitBtn3", "Markierte &entfernen"},
    {"BitBtn2", "&Alle entfernen"},
    {"Button1", "Mehr Optionen.."},
    {"Button2", "Mehr Optionen.."},
    {"Button3", "Mehr Optionen.."},
    {"outordnerbt", "Ordner Wählen.."},
    {"la_customwidth", "Breite:"},
    {"la_customheight", "Höhe:"},
    {"la_faktor", "Faktor (2 verdoppelt die Seiten; 1/2 oder 2:1 halbiert sie):"},
    {"la_filesize", "Zieldateigröße in KB:"},
    {"la_ordner", "Ordner:"},
    {"la_name", "Dateiname:"},
    {"la_format", "Format:"},
    {"m_datei", "&Datei"},
    {"m_datei_open", "Bilder ö&ffnen.."},
    {"m_datei_ordner", "&Ordner mit Bildern öffnen.."},
    {"m_datei_delmark", "&Markierte Bilder aus Bilderliste löschen"},
    {"m_datei_delall", "&Ganze Bilderliste löschen"},
    {"m_datei_konvert", "&Konvertieren und Speichern"},
    {"m_datei_dateiumb", "Dateien nur &umbenennen.."},
    {"m_datei_beenden", "&Beenden"},
    {"m_einst", "&Einstellungen"},
    {"m_einst_ausgabe", "&Optionen.."},
    {"m_einst_filter", "&Filter für Ordnersuche.."},
    {"m_einstshortcuts", "&Verknüpfungen mit Dateien und Ordnern.."},
    {"m_konfig", "&Konfiguration"},
    {"m_info", "&Hilfe und Info"},
    {"m_info_help", "&Hilfe"},
    {"m_info_about", "Ü&ber Vexilo"},
    {"pop1", "Übergeordneten Ordner öffnen"},
    {"pop2", "Dateiinformationen anzeigen"},
    {"pop3", "Markierte Bilder in die Zwischenablage kopieren"},
    {"pop4", "Markierte Bilder aus der Liste löschen"},
    {"m_einst_sprache", "&Sprache"},
    {"m_einst_sprache_english", "English"},
    {"m_einst_sprache_deutsch", "Deutsch"},
    {"col0", "Name"},
    {"col1", "Typ"},
    {"col2", "Breite"},
    {"col3", "Höhe"},
    {"col4", "Größe"},
    {"col5", "Dateipfad"},
    {"tip0", "Tipp: die drei Schritte einer Umwandlung"},
    {"tip1", "Tipp: was die Größenarten bewirken"},
    {"tip2", "Tipp: Platzhalter in Dateinamen"},
    {"tip3", "Tipp: Einstellungen in Konfigurationsdateien"},
    {"open_title", "Öffnen.."},
    {"config_file", "Konfiguration.vxc"},
    {"config_filter", "Vexilo Konfiguration (*.vxc)"},
};

const TextEntry kSplashEnglish[] = {
    {"title", "Vexilo Pro - Corvana"},
    {"subtitle", "Convert and resize many images in one go"},
    {"hint", "Click to continue"},
};

const TextEntry kSplashGerman[] = {
    {"title", "Vexilo Pro - Corvana"},
    {"subtitle", "Viele Bilder auf einmal umwandeln und skalieren"},
    {"hint", "Klicken zum Fortfahren"},
};

}  // namespace

TextTable MainWindowTexts(forms::Language language) {
  if (language == forms::Language::German) return kMainGerman;
  return kMainEnglish;
}

TextTable SplashTexts(forms::Language language) {
  if (language == forms::Language::German) return kSplashGerman;
  return kSplashEnglish;
}

QString TextOf(TextTable table, std::string_view name) {
  for (const TextEntry& entry : table)
    if (name == entry.name) return QString::fromUtf8(entry.text);
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace ui
