#include "ui/HelpWindow.h"

#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace ui {

namespace {

const char* const kHelpEnglish = R"(<h2>Vexilo</h2>
<p>Vexilo converts and resizes many images in one go.</p>
<h3 id="steps"><a name="steps"></a>The three steps</h3>
<ol><li><b>Select Images</b>: drag files or folders onto the window, use <i>File &gt; Open Images</i>
(Ctrl+O), or type a folder and press Enter. <i>Filter..</i> decides which formats a folder search
collects and whether subfolders are searched. Click a column header to sort; the run follows the
list's order.</li>
<li><b>Choose Size</b>: pick a size mode (below). <i>More Options..</i> sets the resampling method,
the output quality and whether larger or smaller images are changed.</li>
<li><b>Save</b>: overwrite the originals or save new files with a folder, a name and a format, then
press <i>Save Images</i> (or Ctrl+S from any page). The line under the page shows what will happen
to the selected image.</li></ol>
<h3><a name="sizes"></a>Size modes</h3>
<ul><li><b>Pixel size</b>: fits the image into 240&times;320 up to 1024&times;768, keeping proportions
if asked. With the orientation option, portrait images use the box turned.</li>
<li><b>Custom pixel size</b>: your own width and height; an empty side keeps the image's own.</li>
<li><b>Percentage</b>: width and height in percent, coupled unless unchecked.</li>
<li><b>Factor</b>: 2 doubles both sides; 1/2 or 2:1 (old to new) halves them.</li>
<li><b>File size</b>: the size whose file comes close to the given kilobytes, found by trial saves.</li></ul>
<h3><a name="names"></a>Name placeholders</h3>
<table border="0" cellpadding="2">
<tr><td><code>%name%</code></td><td>the source's name without extension</td></tr>
<tr><td><code>%num%</code>, <code>%0num%</code></td><td>the row number, plain or padded with zeros</td></tr>
<tr><td><code>%abs%</code></td><td>the number of rows</td></tr>
<tr><td><code>%width%</code>, <code>%height%</code></td><td>the source's size in pixels</td></tr>
<tr><td><code>%folder%</code></td><td>(in the folder box) the source's folder</td></tr>
<tr><td><code>&lt;keep&gt;</code></td><td>keep the source's folder, name or format</td></tr></table>
<h3><a name="configs"></a>Configuration files</h3>
<p>The <i>Configuration</i> menu saves all settings into a <code>.vxc</code> file and loads them
again (Ctrl+K). F2 resets all settings; F3 loads the start configuration <code>Auto.vxc</code> from
the settings folder (<code>~/.config/vexilo/</code>, or <code>$VEXILO_HOME</code>). With
<i>Auto Save Settings on Exit &gt; Save all</i> the start configuration is written when the window
closes. The command line program <code>vexilo-cli</code> reads the same files.</p>)";

const char* const kHelpGerman = R"(<h2>Vexilo</h2>
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
<h3><a name="configs"></a>Konfigurationsdateien</h3>
<p>Das Menü <i>Konfiguration</i> speichert alle Einstellungen in eine <code>.vxc</code>-Datei und lädt
sie (Strg+K). F2 setzt alles zurück, F3 lädt die Startkonfiguration <code>Auto.vxc</code> aus
<code>~/.config/vexilo/</code>.</p>)";

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent, Qt::Window) {
  setObjectName("help");
  auto* layout = new QVBoxLayout(this);
  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(false);
  layout->addWidget(browser_);
  resize(560, 520);
}

void HelpWindow::ApplyTexts(forms::Language language) {
  const bool en = language == forms::Language::English;
  setWindowTitle(en ? "Vexilo Help" : "Vexilo Hilfe");
  browser_->setHtml(QString::fromUtf8(en ? kHelpEnglish : kHelpGerman));
}

void HelpWindow::ShowTopic(const std::string& topic) {
  show();
  raise();
  browser_->scrollToAnchor(QString::fromStdString(topic));
}

QString AboutText() {
  return QString("<h3>Vexilo %1</h3><p>Converts and resizes many images in one go.</p>"
                 "<p>Licence: not yet stated by the authors (no licence file is part of the sources).</p>"
                 "<p>Libraries: Qt %2, zlib %3, libjpeg (API %4), libtiff %5, OpenJPEG %6, libxml2 %7.</p>")
      .arg(VEXILO_VERSION, qVersion(), VEXILO_ZLIB_VERSION, VEXILO_JPEG_VERSION, VEXILO_TIFF_VERSION,
           VEXILO_OPENJPEG_VERSION, VEXILO_LIBXML2_VERSION);
}

void ShowAbout(QWidget* parent) { QMessageBox::about(parent, "About Vexilo", AboutText()); }

}  // namespace ui
