// The German texts: one table per window and message group, with the keys of the English ones
// (forms/texts/English.cpp).
#include "forms/Texts.h"

namespace forms {

namespace {

const TextEntry kMainWindow[] = {
    {"Tprog", "Vexilo - Corvana"},
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
    {"Label6", "Breite:"},
    {"Label14", "Höhe:"},
    {"rb_pixel", "Auf bestimmte Größe in Pixeln skalieren"},
    {"rb_benutzer", "Auf benutzerdefinierte Größe in Pixeln skalieren"},
    {"rb_prozent", "Prozentual skalieren"},
    {"rb_faktor", "Faktor/Verhältnis-Skalierung"},
    {"rb_filesize", "Auf bestimmte Dateigröße skalieren"},
    {"act_sizeprop", "Proportionen beibehalten"},
    {"act_propprozent", "Proportionen beibehalten"},
    {"act_propbenutzer_prop", "Proportionen beibehalten"},
    {"out_overwrite", "Originalbild überschreiben"},
    {"out_newimage", "Als neues Bild speichern"},
    {"durchfuehren", "Weiter >>"},
    {"durchfuehren_save", "Bilder Speichern"},
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
    {"m_einst_sprache", "&Sprache"},
    {"m_konfig", "&Konfiguration"},
    {"m_konfig_save", "Aktuelle Konfiguration speichern"},
    {"m_konfig_save_start", "Aktuelle Konfiguration als Startkonfiguration speichern (Auto.vxc)"},
    {"m_konfig_load", "Konfiguration laden"},
    {"m_konfig_autosave", "Konfiguration beim Beenden speichern"},
    {"m_konfig_autosave_nie", "Nicht speichern"},
    {"m_konfig_autosave_alles", "Alles speichern"},
    {"m_konfig_standard", "Alle Einstellungen zurücksetzen"},
    {"reset_question", "Alle Einstellungen auf ihre Standardwerte zurücksetzen? Einstellungen, die nicht in einer Konfiguration gespeichert sind, gehen verloren."},
    {"m_konfig_start", "Startkonfiguration (Auto.vxc) laden wenn vorhanden"},
    {"m_info", "&Hilfe und Info"},
    {"m_info_help", "&Hilfe"},
    {"m_info_about", "Ü&ber Vexilo"},
    {"pop1", "Übergeordneten Ordner öffnen"},
    {"pop2", "Dateiinformationen anzeigen"},
    {"pop3", "Markierte Bilder in die Zwischenablage kopieren"},
    {"pop4", "Markierte Bilder aus der Liste löschen"},
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
    {"numbers_only", "In diesem Feld sind nur Zahleneingaben erlaubt."},
    {"searching", "Bilder werden gesucht"},
    {"analyzing", "Bilder werden analysiert"},
    {"found", " Bilder gefunden"},
    {"analyzed", " Bilder analysiert"},
    {"added", " Bilder werden hinzugefügt"},
    {"count_one", " Bild"},
    {"count_many", " Bilder"},
};

const TextEntry kSplash[] = {
    {"title", "Vexilo Pro - Corvana"},
    {"subtitle", "Viele Bilder auf einmal umwandeln und skalieren"},
    {"hint", "Klicken zum Fortfahren"},
};

const TextEntry kOptions[] = {
    {"Toptionen", "Optionen"},
    {"GroupBox1", "Allgemeine Einstellungen"},
    {"act_sizehochquerformat", "Unterscheidung zwischen Hoch- und Querformat"},
    {"act_sizekleiner", "Ändern wenn Ursprungsbild kleiner als Maximalgröße"},
    {"act_sizebigger", "Ändern wenn Ursprungsbild größer als Maximalgröße"},
    {"GroupBox2", "Erweiterte Einstellungen"},
    {"Label4", "Methode der Vergrößerung oder Verkleinerung:"},
    {"Label10", "Ausgabe-Qualität für die Formate JPEG, JNG, MNG, JPEG 2000, WebP, AVIF und HEIC"},
    {"progressivaktiv", "Progressiv-Funktion für Formate JPEG, JNG und MNG verwenden"},
    {"psdlayers", "Bild als Ebene einfügen im Photoshop Format PSD"},
    {"GroupBox3", "Fotos"},
    {"keep_orientation", "Gespeicherte Ausrichtung beibehalten (Fotos nicht nach ihren Exif-Angaben aufrichten)"},
    {"to_srgb", "Farben nach sRGB umrechnen statt das eingebettete Farbprofil zu übernehmen"},
    {"strip_location", "Aufnahmeort und persönliche Angaben (GPS, Besitzer, Seriennummern) aus JPEG-Metadaten entfernen"},
    {"keep_dates", "Datum der Originaldateien beibehalten"},
    {"Button1", "OK"},
};

const TextEntry kSearchFilter[] = {
    {"Tsm_filter", "Filter"},
    {"GroupBox1", "Formate"},
    {"GroupBox2", "Suchstil"},
    {"alle", "Alle unterstützten Formate"},
    {"auswahl", "Auswahl folgender Formate:"},
    {"inp_uv", "Auch Unterverzeichnisse durchsuchen"},
    {"Button1", "OK"},
};

const TextEntry kShortcuts[] = {
    {"Teinstshortcuts", "Verknüpfungen"},
    {"Label6", "Das Programm muss für diese Änderungen als Administrator ausgeführt werden."},
    {"Label12", "Hilfe und weitere Informationen zu Verknüpfungen und Administratorrechten auf:"},
    {"AlsAdminStarten", "Programm als Admin neu starten"},
    {"gb1", "Verknüpfung mit Konfigurationsdateien (*.vxc)"},
    {"Label1", "Verknüpfung dieses Programms mit Konfigurationsdateien (Dateiendung: .vxc)"},
    {"gb2", "Senden an"},
    {"Label2", "Anzeige dieses Programms unter \"Öffnen mit\" und in den Skripten des Dateimanagers"},
    {"gb3", "Verknüpfung mit Ordnern"},
    {"Label3", "Anzeige dieses Programms im Kontextmenü des Dateimanagers für Ordner"},
    {"gb4", "Verknüpfung mit Dateien"},
    {"Label4", "Anzeige dieses Programms im Kontextmenü des Dateimanagers für alle Dateien"},
    {"Label5", "Anzeige dieses Programms im Kontextmenü des Dateimanagers für diese Dateien:"},
    {"KonfigAn", "Verknüpfen"},
    {"SendenAnAn", "Verknüpfen"},
    {"OrdnerAn", "Verknüpfen"},
    {"AlleDateienAn", "Verknüpfen"},
    {"BeliebigeDateienAn", "Verknüpfen"},
    {"KonfigAus", "Entfernen"},
    {"SendenAnAus", "Entfernen"},
    {"OrdnerAus", "Entfernen"},
    {"AlleDateienAus", "Entfernen"},
    {"BeliebigeDateienAus", "Entfernen"},
    {"OK", "OK"},
    {"status", "Status:"},
    {"active", "Aktiv"},
    {"inactive", "Nicht aktiv"},
    {"user_links",
     "Vexilo legt diese Verknüpfungen nur für Ihr Benutzerkonto an, daher sind keine Administratorrechte nötig."},
    {"type_name", "Corvana Vexilo Konfiguration"},
    {"verb", "Öffnen mit Corvana Vexilo"},
};

const TextEntry kRenamer[] = {
    {"Tdateinamenumbenenner", "Datei-Umbenenner - Corvana"},
    {"gb_input", "Ziehen Sie die Dateien, die umbenannt werden sollen in diese Liste oder öffnen Sie einen Ordner."},
    {"OpenOrdner", "Ordner Öffnen.."},
    {"uv", "Auch Unterverzeichnisse durchsuchen"},
    {"BitBtn3", "Markierte Löschen"},
    {"BitBtn2", "Alle Löschen"},
    {"BitBtn1", "Filter.."},
    {"gb_maske", "Wählen Sie eine Maske für die betreffenden Dateien"},
    {"label3", "Folgende Konstanten sind verfügbar. Klicken Sie auf eine Konstante, um sie in die Maske einzufügen."},
    {"gb_suchenersetzen", "Ersetzen Sie in dem Dateinamen bestimmte Ausdrücke durch andere."},
    {"suchenersetzen", "Suchen nach:"},
    {"Label11", "Ersetzen durch:"},
    {"Label16", "Suchen und Ersetzen in:"},
    {"cb_suchname", "Dateiname"},
    {"cb_suchendung", "Dateiendung"},
    {"gb_vorschau", "Vorschau"},
    {"Umbenennen", "Umbenennen"},
    {"la_name", "Der alte Name der Datei"},
    {"la_num", "Nummerierung beginnend bei:"},
    {"la_0num", "Nummerierung mit führenden Nullen"},
    {"la_abs", "Absolute Anzahl an Dateien in der Liste"},
    {"la_vor_orig", "Alter Name:"},
    {"la_vor_out", "Neuer Name:"},
    {"undo", "Letzte Umbenennung &rückgängig"},
    {"pop1", "Übergeordneten Ordner öffnen"},
    {"pop2", "Dateiinformationen anzeigen"},
    {"pop3", "Markierte Dateien in die Zwischenablage kopieren"},
    {"pop4", "Markierte Dateien aus der Liste löschen"},
    {"col0", "Name"},
    {"col1", "Typ"},
    {"col2", "Größe"},
    {"col3", "Status"},
    {"col4", "Dateipfad"},
    {"added", "Neu hinzugefügt"},
    {"renamed", "Umbenannt"},
    {"exists", "Datei existiert"},
    {"not_renamed", "Nicht umbenannt"},
    {"error", "Fehler"},
    {"restored", "Wiederhergestellt"},
    {"loaded", " Dateien geladen"},
    {"files_renamed", " Dateien umbenannt"},
    {"files_not_renamed", " Dateien konnten nicht umbenannt werden"},
    {"files_restored", " Dateien wiederhergestellt"},
    {"files_not_restored", " Dateien konnten nicht wiederhergestellt werden"},
    {"journal_error",
     "Die Aufzeichnung der Umbenennungen konnte nicht geführt werden, daher wurde keine weitere Datei umbenannt:"},
    {"nothing_to_undo", "Es gibt keine Umbenennung rückgängig zu machen"},
    {"undo_failures", "Diese Dateien konnten ihren alten Namen nicht zurückbekommen:"},
    {"journal_skipped",
     "Die Aufzeichnung der Umbenennungen nennt diese Dateien, wie es keine Umbenennung tut; sie blieben unberührt:"},
    {"pending_undo",
     "Das Rückgängigmachen einer Umbenennung wurde unterbrochen: %1 von %2 Dateien haben noch ihren neuen Namen.\n\n"
     "Zurückrollen und Fertigstellen geben ihnen beide ihren alten Namen zurück."},
    {"pending_rename",
     "Eine Umbenennung wurde unterbrochen: %1 von %2 Dateien haben ihren neuen Namen.\n\n"
     "Zurückrollen gibt ihnen ihren alten Namen zurück; Fertigstellen benennt auch die übrigen Dateien um."},
    {"roll_back", "Zurückrollen"},
    {"finish", "Fertigstellen"},
    {"later", "Später"},
};

const TextEntry kRenamerFilter[] = {
    {"Tdateinamenumbenenner_filter", "Filter"},
    {"Label1", "Nach welchen Dateien soll gesucht werden?"},
    {"alle", "Alle Dateien suchen (Keinen Filter verwenden)"},
    {"auswahl", "Nur nach folgenden Dateien suchen:"},
    {"OK", "OK"},
};

const TextEntry kDialogs[] = {
    {"caption", "Vexilo - Corvana"},
    {"ok", "OK"},
    {"cancel", "Abbrechen"},
    {"ok_for_all", "OK für alle"},
    {"overwrite_title", "Datei bereits vorhanden"},
    {"overwrite_line1", "Die folgende Datei ist bereits vorhanden:"},
    {"overwrite_question", "Soll diese Datei mit der neuen Datei überschrieben werden?"},
    {"overwrite_warning", "Überschriebene Dateien können nicht wiederhergestellt werden."},
    {"yes", "Ja"},
    {"no", "Nein"},
    {"yes_for_all", "Ja für alle"},
    {"no_for_all", "Nein für alle"},
    {"break", "Abbrechen"},
    {"progress_title", "Bilder werden bearbeitet"},
    {"progress_current", "Aktuelles Bild:"},
    {"folder_chooser", "Wählen Sie einen Ordner, in dem die Dateien gespeichert werden."},
    {"progress_done", "%1 % – %2 von %3 Dateien"},
    {"progress_left", " – noch etwa %1"},
    {"summary_title", "Konvertierung beendet"},
    {"summary_cancelled", "Konvertierung abgebrochen"},
    {"summary_written", "Geschrieben: %1"},
    {"summary_failed", "Fehlgeschlagen: %1"},
    {"summary_kept", "Behalten oder übersprungen: %1"},
    {"summary_time", "Benötigte Zeit: %1"},
    {"status_column", "Ergebnis"},
    {"status_written", "geschrieben"},
    {"status_failed", "fehlgeschlagen"},
    {"status_kept", "behalten"},
    {"preview_title", "Vorschau"},
    {"preview_sizes", "%1, %2 → %3, %4"},
    {"preview_unreadable", "kann nicht gelesen werden: %1"},
    {"preview_failed", "würde nicht geschrieben: %1"},
    {"preview_busy", "Vorschau wird erstellt…"},
    {"preview_none", "Wählen Sie eine Datei in der Liste, um zu sehen, was die Einstellungen daraus machen."},
    {"preview_actual", "100 %"},
    {"preview_source", "Quelle"},
    {"preview_result", "Ergebnis"},
    {"summary_failures", "Fehlgeschlagene Dateien:"},
    {"summary_notes", "Hinweise:"},
    {"open_output", "Ausgabeordner öffnen"},
    {"save_report", "Bericht speichern.."},
    {"close", "Schließen"},
    {"report_file", "Vexilo-Bericht.txt"},
    {"report_filter", "Textdateien (*.txt)"},
    {"report_error", "Der Bericht konnte nicht gespeichert werden:"},
};

// Named by the message keys of forms/MessageKeys.h, as in the English table.
const TextEntry kMessages[] = {
    {"ordnerfalschopen.title", "Ordner nicht gefunden"},
    {"ordnerfalschopen.line1", "Unter diesem Pfad gibt es keinen Ordner:"},
    {"ordnerfalschopen.line3", "Geben Sie einen richtigen Ordner an und versuchen Sie es erneut."},
    {"ordnerfalsch.title", "Falscher Ordner angegeben"},
    {"ordnerfalsch.line1", "Dies ist kein richtiger Ordner zum Speichern von Dateien:"},
    {"ordnerfalsch.line3", "Geben Sie unter \"Ordner\" einen richtigen Ordner für Ihre Bilder an."},
    {"ordnernichtschreibbar.title", "Ordner nicht beschreibbar"},
    {"ordnernichtschreibbar.line1", "In den Ordner"},
    {"ordnernichtschreibbar.line3", "kann nicht geschrieben werden:"},
    {"keinordner.title", "Kein Ordner angegeben"},
    {"keinordner.line1", "Ihre Bilder konnten leider nicht bearbeitet werden, da unter den"},
    {"keinordner.line2", "Speicheroptionen kein Ordner für die Bilder angegeben wurde."},
    {"keinordner.line3", "Geben Sie unter \"Ordner\" einen Ordner für Ihre Bilder an."},
    {"keinname.title", "Kein Dateiname angegeben"},
    {"keinname.line1", "Ihre Bilder konnten leider nicht bearbeitet werden, da unter den"},
    {"keinname.line2", "Speicheroptionen kein Dateiname für die Bilder angegeben wurde."},
    {"keinname.line3", "Geben Sie unter \"Dateiname\" einen Namen für Ihre Bilder an."},
    {"formatfehler.title", "Format nicht unterstützt"},
    {"formatfehler.line1", "Das Format dieser Datei wird leider nicht unterstützt:"},
    {"formatfehler.line3", "Die unterstützten Formate stehen in der Hilfe (F1)."},
    {"dateischoninliste.title", "Datei ist schon hinzugefügt"},
    {"dateischoninliste.line1", "Diese Datei befindet sich bereits in der Liste:"},
    {"dateischoninliste.line3", "Dateien können nur einmal zur Liste hinzugefügt werden."},
    {"keinestartkonfig.title", "Startkonfiguration nicht definiert"},
    {"keinestartkonfig.line1", "Es kann keine Startkonfiguration geladen werden, da keine definiert"},
    {"keinestartkonfig.line2", "wurde (als Datei Auto.vxc im Einstellungsordner)."},
    {"keinestartkonfig.line3", "Speichern Sie eine Konfiguration als Auto.vxc im Einstellungsordner."},
    {"speicherfehler.title", "Fehler beim Speichern"},
    {"speicherfehler.line1", "Es kam zu einem Fehler beim Speichern dieser Datei:"},
    {"speicherfehler.line3", "Benutzen Sie ein anderes Format."},
    {"konvertierfehler.title", "Fehler beim Konvertieren"},
    {"konvertierfehler.line1", "Es kam zu einem Fehler beim Konvertieren dieser Datei:"},
    {"konvertierfehler.line3", "Benutzen Sie ein anderes Format."},
    {"quellefehlt.title", "Datei nicht gefunden"},
    {"quellefehlt.line1", "Diese Datei wurde nicht gefunden:"},
    {"quellefehlt.line3", "Sie wurde übersprungen; die übrigen Bilder werden bearbeitet."},
    {"schongeschrieben.title", "Ausgabe schon geschrieben"},
    {"schongeschrieben.line1", "Dieser Durchlauf hat diese Datei bereits geschrieben:"},
    {"schongeschrieben.line3",
     "Sie wurde behalten; wählen Sie ein Namensmuster, das die Bilder unterscheidet (z. B. %num%)."},
    {"metadatenverloren.title", "Metadaten nicht übernommen"},
    {"metadatenverloren.line1", "Diese Datei wurde ohne die Metadaten ihrer Quelle gespeichert:"},
    {"metadatenverloren.line3", "Das Bild selbst ist vollständig."},
    {"dateigroessefalsch.title", "Falsche Dateigröße angegeben"},
    {"dateigroessefalsch.line1", "Die ungefähre Dateigröße ist keine Zahl:"},
    {"dateigroessefalsch.line3", "Geben Sie die Dateigröße in Kilobyte an und versuchen Sie es erneut."},
    {"namefalsch.title", "Falscher Dateiname angegeben"},
    {"namefalsch.line1", "Dieser Dateiname führt aus dem Ordner für Ihre Bilder hinaus:"},
    {"namefalsch.line3", "Geben Sie unter \"Dateiname\" einen Namen ohne \"..\" an, der nicht mit \"/\" beginnt."},
    {"ladefehler.title", "Fehler beim Laden"},
    {"ladefehler.line1", "Diese Datei konnte nicht gelesen werden:"},
    {"ladefehler.line3", "Sie wurde übersprungen; die übrigen Bilder werden bearbeitet."},
};

const TextEntry kHelp[] = {
    {"title", "Vexilo Hilfe"},
    {"page", R"(<h2>Vexilo</h2>
<p>Vexilo wandelt viele Bilder auf einmal um und ändert ihre Größe.</p>
<h3><a name="steps"></a>Die drei Schritte</h3>
<ol><li><b>Bilder auswählen</b>: Dateien oder Ordner auf das Fenster ziehen, <i>Datei &gt; Bilder
öffnen</i> (Strg+O) oder einen Ordner eingeben und Enter drücken. <i>Filter..</i> bestimmt, welche
Formate eine Ordnersuche sammelt. Ein Klick auf einen Spaltenkopf sortiert die Liste.</li>
<li><b>Größe wählen</b>: eine Größenart wählen (unten). <i>Mehr Optionen..</i> stellt Methode,
Qualität und Vergrößern/Verkleinern ein.</li>
<li><b>Speichern</b>: Originale überschreiben oder neue Dateien mit Ordner, Name und Format speichern,
dann <i>Bilder Speichern</i> (oder Strg+S). Die Zeile unter der Seite zeigt das Ergebnis für das
markierte Bild.</li></ol>
<h3><a name="sizes"></a>Größenarten</h3>
<ul><li><b>Pixelgröße</b>: 240&times;320 bis 1024&times;768, auf Wunsch mit Proportionen.</li>
<li><b>Benutzerdefiniert</b>: eigene Breite und Höhe.</li>
<li><b>Prozentual</b>: Breite und Höhe in Prozent.</li>
<li><b>Faktor</b>: 2 verdoppelt beide Seiten; 1/2 oder 2:1 (alt zu neu) halbiert sie.</li>
<li><b>Dateigröße</b>: die Bildgröße, deren Datei der angegebenen Kilobyte-Zahl nahekommt, gefunden durch Probespeichern.</li></ul>
<h3><a name="names"></a>Platzhalter im Namen</h3>
<p><code>%name%</code> Name ohne Endung, <code>%num%</code>/<code>%0num%</code> Zeilennummer,
<code>%abs%</code> Anzahl der Zeilen, <code>%breite%</code>/<code>%höhe%</code> Größe der Quelle,
<code>%ordner%</code> Ordner der Quelle, <code>&lt;beibehalten&gt;</code> unverändert.</p>
<h3><a name="formats"></a>Unterstützte Formate</h3>
<p>Gelesen: Windows Bitmap (bmp, dib), JPEG (jpg, jpeg, jfif, jpe, jif), GIF, PNG, MNG, JNG,
Windows-Symbol und -Cursor (ico, cur), TIFF (tif, tiff), Photoshop (psd, pdd), die Portable Maps
(pbm, pgm, ppm, pnm, pam, pfm), JPEG 2000 (jp2, j2k, j2c, jpx, jpc), DirectDraw Surface (dds), Targa
(tga), ZSoft Paintbrush (pcx), X Window Pixmap (xpm), WebP, AVIF, HEIF (heic, heif) und JPEG XL (jxl).</p>
<p>Geschrieben: jeder Typ der Liste <i>Format</i> auf der Speichern-Seite: alle oben außer pbm, pnm,
pcx, xpm und heif; HEIC, wo die HEIF-Bibliothek des Systems einen HEVC-Kodierer hat.</p>
<h3><a name="keys"></a>Tasten</h3>
<p>Strg+Tab und Strg+Umschalt+Tab blättern die Seiten um; Alt mit dem unterstrichenen Buchstaben
drückt eine Schaltfläche oder öffnet ein Menü. In der Liste markiert Strg+A alle Zeilen, Entf
entfernt die markierten. Escape im Fortschrittsfenster ist <i>Abbrechen</i>; in den Optionen
schließt es sie mit den Werten, die sie beim Öffnen hatten.</p>
<h3><a name="configs"></a>Konfigurationsdateien</h3>
<p>Das Menü <i>Konfiguration</i> speichert alle Einstellungen in eine <code>.vxc</code>-Datei und lädt
sie (Strg+K). F2 setzt alles zurück, F3 lädt die Startkonfiguration <code>Auto.vxc</code> aus
<code>~/.config/vexilo/</code>.</p>)"},
    // The About box has no German text of its own.
    {"about_title", "About Vexilo"},
    {"about", "<h3>Vexilo %1</h3><p>Converts and resizes many images in one go.</p>"
              "<p>Licence: not yet stated by the authors (no licence file is part of the sources).</p>"
              "<p>Libraries: Qt %2, zlib %3, libjpeg (API %4), libtiff %5, OpenJPEG %6, libxml2 %7.</p>"},
};

const TextEntry kTerminal[] = {
    {"note", "Hinweis"},
    {"kept", "wurde behalten (--yes-to-all überschreibt, --no-to-all behält ohne Meldung)"},
    {"question", "Überschreiben?"},
    {"choices", "y = Ja, n = Nein, a = Ja für alle, N = Nein für alle, b = Abbrechen"},
    {"no_answer", "\"%1\" ist keine der Antworten (%2)."},
    {"summary", "%1 geschrieben, %2 fehlgeschlagen, %3 behalten"},
    {"skipped", ", %1 übersprungen"},
    {"cancelled", ", abgebrochen"},
    {"not_found", "nicht gefunden"},
    {"dry_failed", "nicht geschrieben: %1"},
    {"dry_exists", " (vorhanden)"},
    {"dry_summary", "Probelauf: %1 würden geschrieben, %2 würden fehlschlagen; nichts wurde geschrieben oder angelegt"},
};

// The standard values of the forms are German (forms/MainForm.cpp).
const TextEntry kSpecial[] = {
    {"keep", "<beibehalten>"},
    {"folder", "%ordner%"},
    {"new_folder", "%ordner%/neu"},
    {"width", "%breite%"},
    {"height", "%höhe%"},
    {"custom", "Benutzerdefiniert"},
    {"user", "Benutzer"},
    {"image", "Bild"},
    {"images", "Bilder"},
    {"readable", "Alle lesbaren Dateien"},
    {"bicubic", "Bikubisch"},
    {"bilinear", "Bilinear"},
    {"nearest", "Nächster Nachbar"},
};

const GroupTexts kTables[] = {
    {TextGroup::MainWindow, kMainWindow},
    {TextGroup::Splash, kSplash},
    {TextGroup::Options, kOptions},
    {TextGroup::SearchFilter, kSearchFilter},
    {TextGroup::Shortcuts, kShortcuts},
    {TextGroup::Renamer, kRenamer},
    {TextGroup::RenamerFilter, kRenamerFilter},
    {TextGroup::Dialogs, kDialogs},
    {TextGroup::Messages, kMessages},
    {TextGroup::Help, kHelp},
    {TextGroup::Terminal, kTerminal},
    {TextGroup::Special, kSpecial},
};

}  // namespace

std::span<const GroupTexts> GermanTexts() { return kTables; }

}  // namespace forms
