#include "engine/Messages.h"

namespace vexilo {

namespace {

struct Entry {
  const char* key;
  MessageText english;
  MessageText german;
};

// The texts as users and their documentation know them, with plain spelling and grammar
// errors corrected.
const Entry kMessages[] = {
    {"ordnerfalschopen",
     {"False Folder", "This Folder can not be searched in:", "", "Enter a correct Folder and try again.", true, false},
     {"Falscher Ordner angegeben", "Dieser Ordner kann nicht durchsucht werden:", "",
      "Geben Sie einen richtigen Ordner an und versuchen Sie es erneut.", true, false}},
    {"ordnerfalsch",
     {"False Folder", "This is not a correct Folder for Saving Files:", "",
      "Enter a correct Folder for your Images and try again.", true, false},
     {"Falscher Ordner angegeben", "Dies ist kein richtiger Ordner zum Speichern von Dateien:", "",
      "Geben Sie unter \"Ordner\" einen richtigen Ordner für Ihre Bilder an.", true, false}},
    {"keinordner",
     {"No Folder declared", "Your Images could not be processed, because in the",
      "Saving-Options no Folder is declared.", "Enter a correct Folder for your Images and try again.", false, false},
     {"Kein Ordner angegeben", "Ihre Bilder konnten leider nicht bearbeitet werden, da unter den",
      "Speicheroptionen kein Ordner für die Bilder angegeben wurde.",
      "Geben Sie unter \"Ordner\" einen Ordner für Ihre Bilder an.", false, false}},
    {"keinname",
     {"No Filename declared", "Your Images could not be processed, because in the",
      "Saving-Options no Filename is declared.", "Enter a correct Filename for your Images and try again.", false,
      false},
     {"Kein Dateiname angegeben", "Ihre Bilder konnten leider nicht bearbeitet werden, da unter den",
      "Speicheroptionen kein Dateiname für die Bilder angegeben wurde.",
      "Geben Sie unter \"Dateiname\" einen Namen für Ihre Bilder an.", false, false}},
    {"formatfehler",
     {"Format not supported", "Unfortunately, the Format of this File is not supported:", "",
      "An overview of the supported Formats is on the Vexilo web page.", true, true},
     {"Format nicht unterstützt", "Das Format dieser Datei wird leider nicht unterstützt:", "",
      "Eine Übersicht der unterstützten Formate finden Sie auf der Vexilo-Webseite.", true, true}},
    {"dateischoninliste",
     {"File already added", "This file is added to the List already:", "",
      "A File can be added to the List only once.", true, true},
     {"Datei ist schon hinzugefügt", "Diese Datei befindet sich bereits in der Liste:", "",
      "Dateien können nur einmal zur Liste hinzugefügt werden.", true, true}},
    {"keinestartkonfig",
     {"Start Configuration not defined", "It is not possible to load a Start Configuration, because no one is",
      "defined (as File named auto.vxc in the Application Folder).",
      "Save a Configuration as auto.vxc in the Application Folder.", false, false},
     {"Startkonfiguration nicht definiert", "Es kann keine Startkonfiguration geladen werden, da keine definiert",
      "wurde (als Datei auto.vxc im Programmverzeichnis).",
      "Speichern Sie eine Konfiguration als auto.vxc im Programmverzeichnis.", false, false}},
    {"speicherfehler",
     {"Saving Error", "An Error occurred while saving this file:", "", "Please use another file format.", true, true},
     {"Fehler beim Speichern", "Es kam zu einem Fehler beim Speichern dieser Datei:", "",
      "Benutzen Sie ein anderes Format.", true, true}},
    {"konvertierfehler",
     {"Converting Error", "An Error occurred while converting this file:", "", "Please use another file format.", true,
      true},
     {"Fehler beim Konvertieren", "Es kam zu einem Fehler beim Konvertieren dieser Datei:", "",
      "Benutzen Sie ein anderes Format.", true, true}},
    {kMissingSourceKey,
     {"File not found", "This file was not found:", "", "It was skipped; the other Images are processed.", true,
      true},
     {"Datei nicht gefunden", "Diese Datei wurde nicht gefunden:", "",
      "Sie wurde übersprungen; die übrigen Bilder werden bearbeitet.", true, true}},
    {kAlreadyWrittenKey,
     {"Output already written", "This run has already written this file:", "",
      "It was kept; choose a name pattern that tells the Images apart (e.g. %num%).", true, true},
     {"Ausgabe schon geschrieben", "Dieser Durchlauf hat diese Datei bereits geschrieben:", "",
      "Sie wurde behalten; wählen Sie ein Namensmuster, das die Bilder unterscheidet (z. B. %num%).", true, true}},
    {kMetadataLostKey,
     {"Metadata not kept", "This file was written without the metadata of its source:", "",
      "The Image itself is complete.", true, true},
     {"Metadaten nicht übernommen", "Diese Datei wurde ohne die Metadaten ihrer Quelle gespeichert:", "",
      "Das Bild selbst ist vollständig.", true, true}},
    {kBadFileSizeKey,
     {"False File Size", "The approximate File Size is not a number:", "",
      "Enter the File Size in Kilobytes and try again.", true, false},
     {"Falsche Dateigröße angegeben", "Die ungefähre Dateigröße ist keine Zahl:", "",
      "Geben Sie die Dateigröße in Kilobyte an und versuchen Sie es erneut.", true, false}},
};

struct TextEntry {
  const char* english;
  const char* german;
};

// Indexed by TextId. The two English overwrite lines end in a blank, as users see them.
const TextEntry kTexts[] = {
    {"Vexilo - Corvana", "Vexilo - Corvana"},
    {"OK", "OK"},
    {"OK for all", "OK für alle"},
    {"File already exists", "Datei bereits vorhanden"},
    {"The following File already exists:", "Die folgende Datei ist bereits vorhanden:"},
    {"Shall this File be overwritten with the new File? ", "Soll diese Datei mit der neuen Datei überschrieben werden?"},
    {"Overwritten Files cannot be restored. ", "Überschriebene Dateien können nicht wiederhergestellt werden."},
    {"Yes", "Ja"},
    {"No", "Nein"},
    {"Yes for all", "Ja für alle"},
    {"No for all", "Nein für alle"},
    {"Break", "Abbrechen"},
    {"Processing", "Bilder werden bearbeitet"},
    {"Current Image:", "Aktuelles Bild:"},
    {"Choose a Folder for Output", "Wählen Sie einen Ordner, in dem die Dateien gespeichert werden."},
};

}  // namespace

const MessageText* FindMessage(std::string_view key, forms::Language language) {
  for (const Entry& e : kMessages)
    if (key == e.key) return language == forms::Language::German ? &e.german : &e.english;
  return nullptr;
}

const char* Text(TextId id, forms::Language language) {
  const TextEntry& e = kTexts[static_cast<int>(id)];
  return language == forms::Language::German ? e.german : e.english;
}

}  // namespace vexilo
